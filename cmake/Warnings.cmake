# Compiler warnings and sanitizers for every target of the project.
add_library(pellora_options INTERFACE)
target_compile_options(pellora_options INTERFACE -Wall -Wextra -Wpedantic)
if(PELLORA_WERROR)
  target_compile_options(pellora_options INTERFACE -Werror)
endif()
if(PELLORA_SANITIZE)
  target_compile_options(pellora_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
  target_link_options(pellora_options INTERFACE -fsanitize=address,undefined)
endif()
