# The fuzz targets of the personality (clang's libFuzzer), with every library they reach
# instrumented for coverage and checked by AddressSanitizer and UndefinedBehaviorSanitizer.
set(LUMVIK_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
foreach(library freebsd_personality freebsd_personality_host)
  target_compile_options(${library} PRIVATE ${LUMVIK_SANITIZE} -fsanitize=fuzzer-no-link)
endforeach()
add_executable(personality_fuzz ${CMAKE_CURRENT_LIST_DIR}/fuzz_personality.cpp)
target_include_directories(personality_fuzz PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(personality_fuzz PRIVATE ${LUMVIK_SANITIZE} -fsanitize=fuzzer)
target_link_options(personality_fuzz PRIVATE ${LUMVIK_SANITIZE} -fsanitize=fuzzer)
target_link_libraries(personality_fuzz PRIVATE freebsd_personality freebsd_personality_host)
