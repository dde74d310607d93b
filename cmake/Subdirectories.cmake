# SPDX-License-Identifier: GPL-2.0-or-later
# velmorant_add_subdirectories(): adds every direct subfolder of the current
# source folder that has a CMakeLists.txt, so a new tool or test folder needs
# no edit of its parent.
function(velmorant_add_subdirectories)
  file(GLOB _entries LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(entry ${_entries})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${entry}/CMakeLists.txt)
      add_subdirectory(${entry})
    endif()
  endforeach()
endfunction()
