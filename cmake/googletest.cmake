# GoogleTest built from its source with the project's compiler, for targets
# that Debian's GoogleTest was not built for (Windows, -m32). Its own code
# is not held to -Werror (GCC 12 warns falsely inside it).
function(quarlin_googletest_from_source source)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE -Wno-error)
  endforeach()
endfunction()
