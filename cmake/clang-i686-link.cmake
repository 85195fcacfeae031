# Read after CMake's own rules for the clang toolchain: executables are linked by the GCC driver
# (the compiler's flags stay out of the link line; they are clang's, not GCC's).
foreach(lang C CXX)
  if(DEFINED CMAKE_${lang}_LINK_EXECUTABLE AND MINGW_LINK_DRIVER_${lang})
    string(REPLACE "<CMAKE_${lang}_COMPILER> <FLAGS>" "${MINGW_LINK_DRIVER_${lang}}" CMAKE_${lang}_LINK_EXECUTABLE
                   "${CMAKE_${lang}_LINK_EXECUTABLE}")
  endif()
endforeach()
