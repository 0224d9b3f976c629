#compdef loomwise-batch
# SPDX-License-Identifier: MIT
# zsh completion for loomwise-batch. tests/completion_test.sh checks that it
# offers every option of the program's --help.

_arguments -s -S \
  '(- *)'{-h,--help}'[show the help]' \
  '(- *)--version[show the version]' \
  '--rules=[the rule database]:rule database:_files -g "*.mdb"' \
  '--check[check the run and list every problem; write nothing]' \
  '(-j --jobs)'{-j+,--jobs=}'[convert on N threads]:threads:' \
  '--encoding=[text encoding of the run]:encoding:(windows-1252 utf-8)' \
  '--line-ends=[what ends a line]:line ends:(crlf any)' \
  '--escape-text=[write & < > of the text as references]:escape text:(yes no)' \
  '--page-names=[how pages are named]:page names:(short full)' \
  '--lines=[trim lines or keep them as laid out]:lines:(trim keep)' \
  '--prune[remove the pages of input files that are gone]' \
  '--full[convert every file, also those whose page is up to date]' \
  '--watch[run again whenever the input or the rules change]' \
  '(-q --quiet)'{-q,--quiet}'[print only warnings and errors]' \
  '--explain=[show which rules change which lines of a file]:file:_files' \
  '--export-rules=[write the rule database as a text file]:rules file:_files -g "*.json"' \
  '--import-rules=[replace all rows with a text file'"'"'s]:rules file:_files -g "*.json"' \
  '--new-rules=[create a new rule database]:rule database:_files -g "*.mdb"' \
  '*:directory:_files -/'
