# SPDX-License-Identifier: MIT
# Writes one manual page: help2man reads the program's --help and --version
# and adds the hand-written sections of INCLUDE.
#   cmake -DHELP2MAN=... -DPROGRAM=... -DINCLUDE=... -DOUTPUT=page.1 -P man_page.cmake
execute_process(
  COMMAND ${HELP2MAN} --no-info --include=${INCLUDE} ${PROGRAM}
  OUTPUT_VARIABLE page
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}")
endif()
# --help ends by naming the rule database of the program it ran, here the
# build tree's; the page's own section says where the rules live.
string(REGEX REPLACE "\n(\\.PP\n)?Rule database: [^\n]*" "" page "${page}")
# The exit statuses have a section of their own in the hand-written part.
string(REGEX REPLACE "\n\\.SS \"Exit status:\"\n.*(\n\\.SH \"RULE DATABASE\")" "\\1" page "${page}")
file(WRITE ${OUTPUT} "${page}")
