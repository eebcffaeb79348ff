# Warnings, optional -Werror and the sanitizer configuration, for every target.
add_compile_options(-Wall -Wextra)
if(TESSARY_WERROR)
  add_compile_options(-Werror)
endif()
if(TESSARY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
