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

# Two builds of the same sources: `velmora` on one thread, for any host, and `velmora-threads`,
# whose heavy layers split their rows over web workers (the band pool). The page loads the second
# only where the host makes it cross-origin isolated: shared memory needs that.
add_executable(velmora ${sources})
add_executable(velmora-threads ${sources})
# Only the entry points catch exceptions (a bad file becomes a message on the page).
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/web/WebMain.cpp PROPERTIES COMPILE_OPTIONS -fexceptions)
# The page runs the module, and so does the preparation drawing ahead in a Web Worker
# (web/preparation.js), which reads the checkpoints out of its memory.
set(web_link_options
  -fexceptions
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createVelmora -sENVIRONMENT=web,worker
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=268435456 -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=['FS','ccall','cwrap','UTF8ToString','HEAPU8']")
# The page draws on at most this many threads: the caller and the pool's workers. The workers are
# started and loaded with the module before it runs, so that starting a band thread never waits
# for the page's thread to return to the browser.
set(web_drawing_threads_max 4)
math(EXPR web_pool_workers "${web_drawing_threads_max} - 1")
foreach(target velmora velmora-threads)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_options(${target} PRIVATE ${web_link_options})
  set_target_properties(${target} PROPERTIES SUFFIX ".js")
endforeach()
target_compile_options(velmora-threads PRIVATE -pthread)
target_compile_definitions(velmora-threads PRIVATE VELMORA_WEB_THREADS_MAX=${web_drawing_threads_max})
# Growing shared memory makes the script's reads of it check for a new buffer: the page's script
# reads little (a checkpoint now and then), the drawing happens in WebAssembly.
target_link_options(velmora-threads PRIVATE -pthread -sPTHREAD_POOL_SIZE=${web_pool_workers} -Wno-pthreads-mem-growth)
