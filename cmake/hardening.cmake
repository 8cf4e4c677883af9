# Debian's hardening flags for every build but the sanitizer ones: stack
# protector, position-independent executables, read-only relocations bound at
# start, and the checked variants of the C library's string and memory calls.
# The checked variants only exist with optimisation, and the sanitizers
# intercept the same calls, so neither a Debug nor a sanitizer build gets them.
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)
if(NOT QF_SANITIZE)
  # Replaced rather than added: a toolchain that defines another level
  # already would otherwise warn about the redefinition on every file.
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
