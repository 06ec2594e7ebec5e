# Writes the man page of shardcast with help2man:
#   cmake -DTOOL=<shardcast> -DHELP2MAN=<help2man> -DSECTIONS=<file.h2m> -DPARAMETERS=<file.h2m>
#         -DOUTPUT=<page> -P ManPage.cmake
# help2man makes the page of `shardcast --help`; each subcommand's --help is
# added as a section of its own, kept as printed (no-fill), after the fixed
# sections of the include file, and the parameters' section (written by
# shardcast_describe from the parameter table) after those.
foreach(variable IN ITEMS TOOL HELP2MAN SECTIONS PARAMETERS OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "ManPage.cmake needs -D${variable}=...")
  endif()
endforeach()

file(READ "${SECTIONS}" include_text)
foreach(command IN ITEMS render decode params studio)
  execute_process(COMMAND "${TOOL}" ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${command} --help failed: ${result}")
  endif()
  # roff: a backslash is written \e; a line may not begin with a dot or an
  # apostrophe.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(TOUPPER "${command}" title)
  string(APPEND include_text "\n[COMMAND ${title}]\n.nf\n${help}.fi\n")
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
