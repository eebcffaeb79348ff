# Warnings, optional -Werror and the sanitizer configuration, for every target.
add_compile_options(-Wall -Wextra)
if(TESSARY_WERROR)
  add_compile_options(-Werror)
endif()
if(TESSARY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# GCC 12 reports impossible overlaps inside std::string at -O3 (its bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
