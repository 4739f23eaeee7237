# Every folder is a library that links only the layers below it. Sources include headers by
# folder ("core/profile.h"), so a folder that could see the whole source tree could include
# upwards and fail only at link time, if at all. Instead each library publishes an include root
# of its own that holds its folder alone (a symbolic link); a target then sees exactly the
# folders of what it links, and an upward include fails to compile.
#
# Where the file system refuses symbolic links the whole source tree is published instead: the
# build still works, only without that check.

function(tallyhost_include_folder target scope folder)
  string(REPLACE "/" "-" root_name "${folder}")
  set(root ${CMAKE_BINARY_DIR}/layers/${root_name})
  set(link ${root}/${folder})
  if(NOT IS_SYMLINK ${link})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${link} SYMBOLIC RESULT failed)
    if(failed)
      message(WARNING "No symbolic link for ${folder} (${failed}): upward includes go unchecked")
      set(root ${CMAKE_SOURCE_DIR})
    endif()
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# A layer's library: the folder's sources, its include root, and the layers below it.
#   tallyhost_layer(NAME folder LIBRARY target [SOURCES ...] [LINK ...])
function(tallyhost_layer)
  cmake_parse_arguments(arg "" "NAME;LIBRARY" "SOURCES;LINK" ${ARGN})
  add_library(${arg_LIBRARY} STATIC ${arg_SOURCES})
  tallyhost_include_folder(${arg_LIBRARY} PUBLIC ${arg_NAME})
  target_link_libraries(${arg_LIBRARY} PUBLIC ${arg_LINK})
endfunction()
