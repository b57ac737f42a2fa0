# SPDX-License-Identifier: MIT
# fish completion for docseek

set -l commands search types counts help
complete -c docseek -f
complete -c docseek -n "not __fish_seen_subcommand_from $commands" -a search -d 'Run one search and print its hits'
complete -c docseek -n "not __fish_seen_subcommand_from $commands" -a types -d 'Print the document types the plug-in offers'
complete -c docseek -n "not __fish_seen_subcommand_from $commands" -a counts -d 'Print the hit counts the plug-in offers'
complete -c docseek -n "not __fish_seen_subcommand_from $commands" -a help -d 'Print the help'

complete -c docseek -s t -l types -x -a 'pdf doc xls ppt rtf sogou' -d 'Document types to search, comma-separated'
complete -c docseek -s n -l count -x -a '10 20 30 50 100' -d 'Hits to read per type'
complete -c docseek -s f -l format -x -a 'table json csv tsv raw' -d 'Output format'
complete -c docseek -l json -d 'The same as --format json'
complete -c docseek -s q -l quiet -d 'No progress line and no diagnostics'
complete -c docseek -l no-window -d 'Show the progress on the terminal, not in a window'
complete -c docseek -l proxy -x -d 'Send the requests through this proxy URL'
complete -c docseek -l download -x -a '(__fish_complete_directories)' -d 'Then fetch each hit into this folder'
complete -c docseek -l max-size -x -a '10M 100M 1G' -d 'Skip documents larger than SIZE (bytes; K, M or G)'
complete -c docseek -l plugin -r -F -d 'The plug-in library to load'
complete -c docseek -s h -l help -d 'Print the help and exit'
complete -c docseek -l version -d 'Print the version and exit'
