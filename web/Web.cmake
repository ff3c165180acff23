# The WebAssembly build: the same core, image library, effects, timeline, show content and
# driver step as the native program, with the browser's platform layer (src/platform/web) in
# place of the window, the module player and libjpeg. Configured by `make web` with emcmake.

# SSE2 loops become WebAssembly SIMD; the level is fixed here (see core/SimdLevel.h).
add_compile_options(-msimd128 -msse2)

velmora_sources(sources src/core src/image src/effects src/timeline src/show src/platform/ptc
                    src/platform/web)
# Native only: the AVX2 loops, libjpeg's codec (the web has a stand-in), libpng's writer.
list(FILTER sources EXCLUDE REGEX "Avx2\\.cpp$")
list(FILTER sources EXCLUDE REGEX "/image/JpegCodec\\.cpp$")
list(FILTER sources EXCLUDE REGEX "/platform/ptc/PngWriter\\.cpp$")
# The driver's step and what it calls, from the native driver's folder.
list(APPEND sources ${CMAKE_SOURCE_DIR}/src/main/ShowDriver.cpp ${CMAKE_SOURCE_DIR}/src/main/CueDispatch.cpp
     ${CMAKE_SOURCE_DIR}/src/main/ModeSearch.cpp ${CMAKE_SOURCE_DIR}/src/main/FrameStats.cpp)

add_executable(velmora ${sources})
target_include_directories(velmora PRIVATE ${CMAKE_SOURCE_DIR}/src)
# Only the entry points catch exceptions (a bad file becomes a message on the page).
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/platform/web/WebMain.cpp PROPERTIES COMPILE_OPTIONS -fexceptions)
target_link_options(velmora PRIVATE
  -fexceptions
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createVelmora -sENVIRONMENT=web
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=268435456 -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=['FS','ccall','cwrap','UTF8ToString']")
set_target_properties(velmora PROPERTIES SUFFIX ".js")
