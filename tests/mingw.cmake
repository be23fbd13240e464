# (Not in the arm64 cross build: it checks the same sources with the same
# x86-64 cross compiler as the build machine's own build does.)
if(GLINTWORKS_EMULATED)
  return()
endif()
# The framework against the real Win32 headers of the MinGW-w64 cross compiler
# (syntax only). Reported as skipped, not failed, when no cross compiler is
# installed. It needs no sanitizers, so it carries a label of its own.
glintworks_test(px_mingw_platform_headers TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS platform-headers
  SCRIPT px_mingw_check.sh ${PROJECT_SOURCE_DIR})
