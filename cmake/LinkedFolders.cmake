# shardcast_linked_folders(<target> <variable>): the project folders whose
# headers a target may include because it links their library: the folder
# each of its own libraries is defined in, and those of the libraries they
# pass on (PUBLIC or INTERFACE), in turn. Libraries from outside the
# project, and targets defined at the project's root (compiler flags, the
# version), name no folder. The layering test reads the result.
function(shardcast_linked_folders target variable)
  set(folders)
  set(seen)
  get_target_property(pending ${target} LINK_LIBRARIES)
  list(APPEND folders "${target}")
  while(pending)
    list(POP_FRONT pending current)
    if(NOT TARGET "${current}" OR current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    list(APPEND folders ${current})
    get_target_property(passed_on ${current} INTERFACE_LINK_LIBRARIES)
    if(passed_on)
      # A private dependency of a static library shows as $<LINK_ONLY:...>:
      # linked, but its headers are not passed on.
      list(FILTER passed_on EXCLUDE REGEX "^\\$<LINK_ONLY:")
      list(APPEND pending ${passed_on})
    endif()
  endwhile()
  set(result)
  foreach(linked IN LISTS folders)
    get_target_property(imported ${linked} IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(folder ${linked} SOURCE_DIR)
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${folder}")
    if(folder)
      list(APPEND result "${folder}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${variable} "${result}" PARENT_SCOPE)
endfunction()
