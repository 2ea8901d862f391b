# A program's own project that pulls the library in with add_subdirectory (the minimal example,
# configured on its own in a scratch folder with no build type): its build type stays its own
# (empty); its object compiles under C++20 with <chrono> and without the library's code page,
# sanitizer options (checked with the library's sanitizer option on) or source folders; the
# library's own objects are optimised; the program links and runs on SDL's dummy drivers. The
# build itself is made with the sanitizer option off.
# With LIBRARY (the library archive the running build made from the same sources), only the
# program's object is compiled here and the program is linked by its own project's link line
# with that archive in place of the one the project would make: the library is not built twice.
#   cmake -DSOURCE=<program folder> -DVELK=<library folder> -DBUILD=<scratch folder>
#         [-DLIBRARY=<built library archive>] [-DCOMPILER=<c++ compiler>]
#         [-DLAUNCHER=<compiler launcher>] -P consumer_project.cmake
file(REMOVE_RECURSE ${BUILD})
set(options -S ${SOURCE} -B ${BUILD} -G Ninja -DVELK_DIR=${VELK} -DVELK_SANITIZE=ON
            -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
if(COMPILER)
  list(APPEND options -DCMAKE_CXX_COMPILER=${COMPILER})
endif()
if(LAUNCHER)
  list(APPEND options -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} ${options} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the program's project does not configure")
endif()

file(STRINGS ${BUILD}/CMakeCache.txt buildType REGEX "^CMAKE_BUILD_TYPE:")
if(NOT buildType MATCHES "^CMAKE_BUILD_TYPE:[A-Z]+=$")
  message(FATAL_ERROR "the library changed the program's build type: ${buildType}")
endif()

file(READ ${BUILD}/compile_commands.json commands)
string(REGEX MATCH "\"command\": \"[^\"]*main\\.cpp\"" command "${commands}")
if(command STREQUAL "")
  message(FATAL_ERROR "no compile command for the program's main.cpp")
endif()
if(command MATCHES "-fexec-charset|-fsanitize| -O[1-3s]")
  message(FATAL_ERROR "the library's options reach the program: ${command}")
endif()
foreach(folder "${VELK} " "${VELK}/engine ")
  string(FIND "${command}" "-I${folder}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the library's source folder ${folder}reaches the program: ${command}")
  endif()
endforeach()
string(REGEX MATCH "\"command\": \"[^\"]*engine/core/memory\\.cpp\"" command "${commands}")
if(NOT command MATCHES " -O2 ")
  message(FATAL_ERROR "the library is not built optimised: ${command}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} ${options} -DVELK_SANITIZE=OFF OUTPUT_QUIET
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the program's project does not configure without the sanitizers")
endif()
if(NOT LIBRARY)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target velk-minimal
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the program does not build")
  endif()
else()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD}
                          --target CMakeFiles/velk-minimal.dir/main.cpp.o RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the program's object does not compile")
  endif()
  # The project's own link step for the program, its library archive replaced by the built one.
  file(STRINGS ${BUILD}/CMakeCache.txt ninja REGEX "^CMAKE_MAKE_PROGRAM:")
  string(REGEX REPLACE "^[^=]*=" "" ninja "${ninja}")
  execute_process(COMMAND ${ninja} -C ${BUILD} -t commands velk-minimal
                  OUTPUT_VARIABLE steps RESULT_VARIABLE result)
  string(REGEX MATCH "[^\n]* -o velk-minimal [^\n]*" link "${steps}")
  string(REGEX MATCHALL "[^ ]*libvelk\\.a" archives "${link}")
  list(LENGTH archives count)
  if(NOT result EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "no link step with the library's archive for the program: ${link}")
  endif()
  string(REPLACE " ${archives} " " ${LIBRARY} " link "${link}")
  file(REMOVE ${BUILD}/velk-minimal)
  execute_process(COMMAND sh -c "${link}" WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT EXISTS ${BUILD}/velk-minimal)
    message(FATAL_ERROR "the program does not link with the built library: ${link}")
  endif()
endif()
# The program runs until its window closes: still running after three seconds is a good start.
file(MAKE_DIRECTORY ${BUILD}/run)
execute_process(COMMAND ${CMAKE_COMMAND} -E env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
                        ASAN_OPTIONS=detect_leaks=0 timeout 3 ${BUILD}/velk-minimal
                WORKING_DIRECTORY ${BUILD}/run RESULT_VARIABLE result)
if(NOT result EQUAL 124)
  message(FATAL_ERROR "the program did not keep running (exit status ${result})")
endif()
