# TESSEK_TSAN builds with ThreadSanitizer. CI (.ci/run) builds the serial and lm tests
# with it and runs them, since the port's event thread and the window thread share the
# device, the input buffer and the queue of events there. ThreadSanitizer and
# AddressSanitizer (TESSEK_SANITIZE) exclude each other.
option(TESSEK_TSAN "Build with ThreadSanitizer" OFF)
if(TESSEK_TSAN)
  if(TESSEK_SANITIZE)
    message(FATAL_ERROR "TESSEK_TSAN and TESSEK_SANITIZE cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
