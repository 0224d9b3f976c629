# SPDX-License-Identifier: MIT
# The release this tree is, read from the latest entry of debian/changelog so
# that --version, the AppStream metainfo and the Debian packages cannot
# disagree: sets LOOMWISE_RELEASE_VERSION (1.0.0) and LOOMWISE_RELEASE_DATE
# (2026-12-07). Included before project(), which takes the version.
set(changelog ${CMAKE_CURRENT_LIST_DIR}/../debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} heading LIMIT_COUNT 1)
if(NOT heading MATCHES "^loomwise \\(([0-9]+\\.[0-9]+\\.[0-9]+)\\) ")
  message(FATAL_ERROR "debian/changelog: the first line must begin with "
    "\"loomwise (MAJOR.MINOR.PATCH) \", not \"${heading}\"")
endif()
set(LOOMWISE_RELEASE_VERSION ${CMAKE_MATCH_1})

file(STRINGS ${changelog} signature REGEX "^ -- " LIMIT_COUNT 1)
if(NOT signature MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "debian/changelog: the first entry's last line must end with "
    "a date such as \"Mon, 07 Dec 2026 12:00:00 +0000\", not \"${signature}\"")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
if(month LESS 0)
  message(FATAL_ERROR "debian/changelog: \"${CMAKE_MATCH_2}\" is no month in \"${signature}\"")
endif()
math(EXPR month "${month} + 1")
if(month LESS 10)
  string(PREPEND month 0)
endif()
if(day MATCHES "^[0-9]$")
  string(PREPEND day 0)
endif()
set(LOOMWISE_RELEASE_DATE ${year}-${month}-${day})
