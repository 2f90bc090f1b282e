# Shared compile settings and small helpers for every target of the tree.

function(bw_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(BW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# bw_layer(NAME SOURCES ... DEPENDS ...): one static library per layer. Only the
# layer's own include/ directory is exported, so a header of a layer that is not
# among DEPENDS cannot be found and a forbidden include fails to compile.
function(bw_layer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  bw_set_warnings(${name})
endfunction()

# bw_test(NAME SOURCES ... LIBS ...): a GoogleTest executable registered with CTest.
function(bw_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  bw_set_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES ${ARG_PROPERTIES})
endfunction()

# bw_embed_file(TARGET SYMBOL FILE): compiles FILE's bytes into TARGET as
# `extern const unsigned char SYMBOL[]; extern const std::size_t SYMBOL_size;`.
# The file is regenerated whenever FILE changes.
function(bw_embed_file target symbol file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DSYMBOL=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${file} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${file}")
  target_sources(${target} PRIVATE ${out})
endfunction()
