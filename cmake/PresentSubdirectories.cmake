# add_present_subdirectories(): adds every direct subfolder that has a
# CMakeLists.txt, in name order, so a new test, bench or tool folder joins the
# build by existing, without an edit to a shared list.
function(add_present_subdirectories)
  file(GLOB _subdirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _subdirs)
  foreach(sub ${_subdirs})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${sub} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
    endif()
  endforeach()
endfunction()
