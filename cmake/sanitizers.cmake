# KERRO_SANITIZE=ON builds everything with AddressSanitizer and UndefinedBehaviorSanitizer.
if(KERRO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
