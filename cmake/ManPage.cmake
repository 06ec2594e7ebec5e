# Writes the man page of shardcast with help2man:
#   cmake -DTOOL=<shardcast> -DHELP2MAN=<help2man> -DSECTIONS=<file.h2m> -DPARAMETERS=<file.h2m>
#         -DOUTPUT=<page> -P ManPage.cmake
# help2man makes the page of `shardcast --help`; each subcommand's --help is
# added as a section of its own, its options as tagged paragraphs, after the
# fixed sections of the include file (EXAMPLES among them), and the
# parameters' section (written by shardcast_describe from the parameter
# table) after those. Every line fits 80 columns.
foreach(variable IN ITEMS TOOL HELP2MAN SECTIONS PARAMETERS OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "ManPage.cmake needs -D${variable}=...")
  endif()
endforeach()

# roff: a backslash is written \e, a minus in an option's name \-; a line
# may not begin with a dot or an apostrophe.
function(roff_text text result)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

# A command's --help as man page paragraphs: the help's two columns (see
# cli/command_line/help_format.cpp: a name indented by two spaces, its text
# from column 30 on, beside it or on the lines below) become tagged
# paragraphs that man fills to the reader's width; headings and the usage
# line stay lines of their own.
function(help_to_roff help result)
  # Semicolons and square brackets would upset the list of lines.
  string(REPLACE ";" "<semicolon>" help "${help}")
  string(REPLACE "[" "<open>" help "${help}")
  string(REPLACE "]" "<close>" help "${help}")
  string(REPLACE "\n" ";" lines "${help}")
  set(roff "")
  foreach(line IN LISTS lines)
    string(REPLACE "<semicolon>" ";" line "${line}")
    string(REPLACE "<open>" "[" line "${line}")
    string(REPLACE "<close>" "]" line "${line}")
    if(line MATCHES "^                              (.*)$")
      roff_text("${CMAKE_MATCH_1}" text)
      string(APPEND roff "${text}\n")
    elseif(line MATCHES "^  ([^ ]+( [^ ]+)*)(  +([^ ].*))?$")
      set(name "${CMAKE_MATCH_1}")
      set(text "${CMAKE_MATCH_4}")
      roff_text("${name}" name)
      string(REPLACE "-" "\\-" name "${name}")
      roff_text("${text}" text)
      string(APPEND roff ".TP\n\\fB${name}\\fR\n")
      if(NOT text STREQUAL "")
        string(APPEND roff "${text}\n")
      endif()
    elseif(NOT line STREQUAL "")
      roff_text("${line}" text)
      string(APPEND roff ".PP\n${text}\n")
    endif()
  endforeach()
  set(${result} "${roff}" PARENT_SCOPE)
endfunction()

file(READ "${SECTIONS}" include_text)
foreach(command IN ITEMS render decode params studio)
  execute_process(COMMAND "${TOOL}" ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${command} --help failed: ${result}")
  endif()
  help_to_roff("${help}" roff)
  string(TOUPPER "${command}" title)
  string(APPEND include_text "\n[COMMAND ${title}]\n${roff}")
endforeach()
file(READ "${PARAMETERS}" parameters_text)
string(APPEND include_text "\n${parameters_text}")

get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(WRITE "${OUTPUT}.h2m" "${include_text}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1 --source=Shardcast
          "--name=render pictures through the Shardcast damaged-JPEG effect"
          "--include=${OUTPUT}.h2m" "--output=${OUTPUT}" "${TOOL}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed: ${result}")
endif()
