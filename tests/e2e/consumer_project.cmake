# A program's own project that pulls the library in with add_subdirectory (the minimal example,
# configured on its own in a scratch folder, with the library's sanitizer option on): its build
# type stays its own (empty), and its object compiles under C++20 with <chrono> and without the
# library's code page or sanitizer options. Only the program's object is built.
#   cmake -DSOURCE=<program folder> -DVELK=<library folder> -DBUILD=<scratch folder>
#         [-DCOMPILER=<c++ compiler>] [-DLAUNCHER=<compiler launcher>] -P consumer_project.cmake
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
if(command MATCHES "-fexec-charset|-fsanitize")
  message(FATAL_ERROR "the library's options reach the program: ${command}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD}
                        --target CMakeFiles/velk-minimal.dir/main.cpp.o
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the program's object does not build")
endif()
