# What a program sees through velk.h: the public calls, and none of the library's inner services.
# Each probe below names one inner service and must fail to compile with only the public headers
# on the include path; a probe of public calls and every source of the game, which is built on
# velk.h alone, must compile there.
#   cmake -DCOMPILER=<c++ compiler> -DPUBLIC=<public include folder> -DGAME=<game folder>
#         -DBUILD=<scratch folder> -P public_header.cmake
set(inner
  "&InitGraphics" "&EndGraphics" "&InitFontSystem" "&EndFonts" "&RecreateAllFonts"
  "&InitializeSoundSystem" "&TerminateSoundSystem" "&StopAndDeleteMusic" "&ProcessMessage"
  "sizeof(AllocationHeader)" "sizeof(ListNode)" "&InitList" "sizeof(RingBuffer)"
  "&CheckMmxSupport" "&SetMmxFlag" "&g_MemImgTables" "sizeof(MEMIMG)" "&CreateMemImg"
  "&ConvertPixelFormatRect" "&RecreateDeviceSameMode" "&BuildYuvTables" "&UpdateTheoraFrame"
  "&PauseAllMovies" "&BlitMemImg" "&FillMemImgBox")
set(public "&InitLibraryLocked" "&ProcessMessageLocked" "&DrawGraphAt" "&LoadSoundFile"
  "&OpenMovie" "sizeof(ImageRecord)")
set(flags -std=c++20 -fsyntax-only -I${PUBLIC})
file(REMOVE_RECURSE ${BUILD})
file(MAKE_DIRECTORY ${BUILD})

function(compile_probe name expressions result)
  set(body "")
  foreach(expression ${expressions})
    string(APPEND body "    (void)${expression};\n")
  endforeach()
  file(WRITE ${BUILD}/${name}.cpp "#include \"velk.h\"\nvoid Probe() {\n${body}}\n")
  execute_process(COMMAND ${COMPILER} ${flags} ${BUILD}/${name}.cpp
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  set(${result} ${status} PARENT_SCOPE)
endfunction()

compile_probe(public "${public}" status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the public calls do not compile through velk.h")
endif()
set(index 0)
foreach(expression ${inner})
  compile_probe(inner${index} "${expression}" status)
  if(status EQUAL 0)
    message(FATAL_ERROR "velk.h hands a program ${expression}")
  endif()
  math(EXPR index "${index} + 1")
endforeach()

file(GLOB sources ${GAME}/*.cpp)
execute_process(COMMAND ${COMPILER} ${flags} -I${GAME} ${sources} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the game does not build on the public headers alone")
endif()
