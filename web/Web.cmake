# The WebAssembly build: the same core, image library, effects, timeline, show content and
# driver as the native program, with the browser's adapters (src/platform/web) in place of the
# window and the module player, and the browser's entry point (src/web). Configured by `make web`
# with emcmake.

# SSE2 loops become WebAssembly SIMD; the level is fixed here (see core/SimdLevel.h). There is
# no libjpeg for WebAssembly: the pictures reach the page decoded, and the image library leaves
# its JPEG codec out.
add_compile_options(-msimd128 -msse2)
add_compile_definitions(VELMORA_NO_JPEG)

velmora_sources(sources src/core src/image src/effects src/timeline src/show src/music src/driver
                src/platform/ptc src/platform/web src/web)
# Native only: the AVX2 loops and libjpeg's codec.
list(FILTER sources EXCLUDE REGEX "Avx2\\.cpp$")
list(FILTER sources EXCLUDE REGEX "/image/JpegCodec\\.cpp$")

add_executable(velmora ${sources})
target_include_directories(velmora PRIVATE ${CMAKE_SOURCE_DIR}/src)
# Only the entry points catch exceptions (a bad file becomes a message on the page).
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/web/WebMain.cpp PROPERTIES COMPILE_OPTIONS -fexceptions)
# The page runs the module, and so does the preparation drawing ahead in a Web Worker
# (web/preparation.js), which reads the checkpoints out of its memory.
target_link_options(velmora PRIVATE
  -fexceptions
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createVelmora -sENVIRONMENT=web,worker
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=268435456 -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=['FS','ccall','cwrap','UTF8ToString','HEAPU8']")
set_target_properties(velmora PROPERTIES SUFFIX ".js")
