# Included at the end of project() in the FreeBSD cross-build: once the module target exists,
# give it the extension suffix of FreeBSD's free-threaded interpreter (".cpython-313t.so": no
# platform triplet, unlike Linux's).
if(PROJECT_NAME STREQUAL "lumvik_bsd")
  function(lumvik_freebsd_module_suffix)
    if(TARGET _lumvik_bsd)
      set_target_properties(_lumvik_bsd PROPERTIES
        SUFFIX ".cpython-${Python_VERSION_MAJOR}${Python_VERSION_MINOR}t.so")
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL lumvik_freebsd_module_suffix)
endif()
