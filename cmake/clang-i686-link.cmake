# Read after CMake's own rules for the clang toolchain: executables and DLLs are linked by the GCC
# driver (the compiler's flags stay out of the link line; they are clang's, not GCC's).
foreach(lang C CXX)
  if(NOT MINGW_LINK_DRIVER_${lang})
    continue()
  endif()
  if(DEFINED CMAKE_${lang}_LINK_EXECUTABLE)
    string(REPLACE "<CMAKE_${lang}_COMPILER> <FLAGS>" "${MINGW_LINK_DRIVER_${lang}}" CMAKE_${lang}_LINK_EXECUTABLE
                   "${CMAKE_${lang}_LINK_EXECUTABLE}")
  endif()
  foreach(rule CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE)
    if(DEFINED CMAKE_${lang}_${rule})
      string(REPLACE "<CMAKE_${lang}_COMPILER>" "${MINGW_LINK_DRIVER_${lang}}" CMAKE_${lang}_${rule}
                     "${CMAKE_${lang}_${rule}}")
      string(REPLACE "<LANGUAGE_COMPILE_FLAGS>" "" CMAKE_${lang}_${rule} "${CMAKE_${lang}_${rule}}")
    endif()
  endforeach()
endforeach()
