# Writes the manual page quorvel-cli(1) from the program's own help, so that
# the page and `quorvel-cli help` never tell two stories. Run as a script:
#   cmake -DCLI=path/to/quorvel-cli -DVERSION=1.00 -DOUTPUT=quorvel-cli.1 -P man_page.cmake

function(help_of out)
    execute_process(COMMAND "${CLI}" help ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE code)
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "${CLI} help ${ARGN} failed (${code})")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The help's lines as roff takes them literally: a backslash is written \e, a
# hyphen \- (man's readers search for the ASCII hyphen-minus), and a line that
# would start with a control character is guarded with \&.
function(as_roff out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    # An empty line inside .nf is kept, but roff would read it as a paragraph
    # break with extra space; .sp says the same thing plainly.
    string(REGEX REPLACE "\n\n" "\n.sp\n" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_of(overview)
# The overview's first line is "quorvel-cli: <what it is>."
string(REGEX MATCH "^quorvel-cli: ([^\n]*)\\." first "${overview}")
set(summary "${CMAKE_MATCH_1}")
# The rest, after the blank line below it. (string(REGEX REPLACE) would take
# "^" again at every match.)
string(FIND "${overview}" "\n\n" blank)
math(EXPR rest "${blank} + 2")
string(SUBSTRING "${overview}" ${rest} -1 overview)
as_roff(overview "${overview}")

set(page ".TH QUORVEL-CLI 1 \"\" \"quorvel-cli ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nquorvel-cli \\- ${summary}\n")
string(APPEND page ".SH SYNOPSIS\n.nf\n${overview}.fi\n")
string(APPEND page ".SH COMMANDS\n")
foreach(command snapshot diff watch)
    help_of(text ${command})
    as_roff(text "${text}")
    string(APPEND page ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()
string(APPEND page ".SH SEE ALSO\n\\fBquorvel\\fR opens the window under Wine; \\fBwine\\fR(1)\n")
file(WRITE "${OUTPUT}" "${page}")
