# The Windows libraries, cross-compiled from the same sources in build trees of their own:
# 32-bit (stdcall-decorated exports) and 64-bit (plain exports). Each tree also holds the Windows
# test program and its natives.txt.
#   orvistal_windows    -> ${ORVISTAL_WINDOWS_BUILD}/src/Orvistal.dll
#   orvistal_windows64  -> ${ORVISTAL_WINDOWS64_BUILD}/src/Orvistal.dll
function(orvistal_cross_build target compiler build_dir toolchain)
  find_program(_compiler_${target} ${compiler})
  if(NOT _compiler_${target})
    message(WARNING "${compiler} not found: ${target} is not built (scripts/install-packages.sh installs mingw-w64)")
    return()
  endif()
  add_custom_target(${target} ALL
    COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${build_dir}
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${toolchain} -DCMAKE_BUILD_TYPE=Release
            -DORVISTAL_JDK_HOME=${ORVISTAL_JDK_HOME}
    COMMAND ${CMAKE_COMMAND} --build ${build_dir} -j2
    BYPRODUCTS ${build_dir}/src/Orvistal.dll
    COMMENT "Cross-compiling ${build_dir}/src/Orvistal.dll"
    VERBATIM)
endfunction()

set(ORVISTAL_WINDOWS_BUILD ${CMAKE_BINARY_DIR}/windows)
set(ORVISTAL_WINDOWS64_BUILD ${CMAKE_BINARY_DIR}/windows64)
orvistal_cross_build(orvistal_windows i686-w64-mingw32-g++ ${ORVISTAL_WINDOWS_BUILD} mingw-i686.cmake)
orvistal_cross_build(orvistal_windows64 x86_64-w64-mingw32-g++ ${ORVISTAL_WINDOWS64_BUILD} mingw-x86_64.cmake)
