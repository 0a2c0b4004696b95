# Shared build helpers.

# Warnings for our own code.
function(quelmint_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# quelmint_library(<name> [QT <components>...] [LIBS <libs>...])
# Builds every .cpp of the calling folder into a static library named
# quelmint_<name>, public include root src/.
function(quelmint_library name)
  cmake_parse_arguments(ARG "" "" "LIBS;DIRS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(d IN LISTS ARG_DIRS)
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.h)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  list(FILTER srcs INCLUDE REGEX "\\.cpp$")
  if(srcs)
    file(GLOB srcs CONFIGURE_DEPENDS ${globs})
    add_library(quelmint_${name} STATIC ${srcs})
    target_include_directories(quelmint_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(quelmint_${name} PUBLIC ${ARG_LIBS})
    quelmint_warnings(quelmint_${name})
  else()
    # Nothing to compile yet: headers only.
    add_library(quelmint_${name} INTERFACE)
    target_include_directories(quelmint_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(quelmint_${name} INTERFACE ${ARG_LIBS})
  endif()
endfunction()

# quelmint_test(<name> SOURCES <files>... LIBS <libs>... [LABELS <labels>...] [TIMEOUT s]
#               [LOCALES <locales>...] [SCALED [SCALED_ENV <VAR=value>...]
#               [SCALED_ARGS <arguments>...]])
# One GoogleTest executable registered with ctest; LOCALES and SCALED register it again.
function(quelmint_test name)
  cmake_parse_arguments(ARG "SCALED" "TIMEOUT" "SOURCES;LIBS;LABELS;LOCALES;SCALED_ENV;SCALED_ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  quelmint_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  # A program that skipped a case (GoogleTest prints "[  SKIPPED ]") shows as skipped in ctest.
  set(environment "QT_QPA_PLATFORM=offscreen;QUELMINT_BUILD_DIR=${PROJECT_BINARY_DIR};QUELMINT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    LABELS "${ARG_LABELS}"
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
    ENVIRONMENT "${environment}")
  # The same program again with the windows scaled by 1.5 (texts must still fit), with
  # SCALED_ARGS (a --gtest_filter, say).
  if(ARG_SCALED)
    add_test(NAME ${name}_scaled COMMAND ${name} ${ARG_SCALED_ARGS})
    set_tests_properties(${name}_scaled PROPERTIES TIMEOUT ${ARG_TIMEOUT}
      LABELS "${ARG_LABELS}"
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      ENVIRONMENT "${environment};QT_SCALE_FACTOR=1.5;${ARG_SCALED_ENV}")
  endif()
  # The same program again under each locale given (for example de_DE, whose decimal
  # separator is a comma); the program checks that the locale is really in force.
  foreach(locale IN LISTS ARG_LOCALES)
    add_test(NAME ${name}@${locale} COMMAND ${name})
    set_tests_properties(${name}@${locale} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
      LABELS "${ARG_LABELS}"
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      ENVIRONMENT "LC_ALL=${locale}.UTF-8;LANG=${locale}.UTF-8;QUELMINT_TEST_LOCALE=${locale};QT_QPA_PLATFORM=offscreen;QUELMINT_BUILD_DIR=${PROJECT_BINARY_DIR};QUELMINT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endforeach()
endfunction()
