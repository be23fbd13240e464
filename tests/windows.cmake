# The Windows build's tests, run under wine on the Linux build machine in a
# private prefix under this build folder. The end-to-end test compares the
# Windows program with the Linux snapshot tool, so it needs a Linux build
# beside this one (make windows-test builds both).
set(GLINTWORKS_LINUX_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH
    "A Linux build of Glintworks, whose snapshot tool and send-wm-delete the wine tests use")
set(GLINTWORKS_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)

add_test(NAME wine_e2e
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_e2e_test.sh ${PROJECT_BINARY_DIR}
          ${GLINTWORKS_LINUX_BUILD}/tools/glintworks-snapshot ${GLINTWORKS_LINUX_BUILD}/tests/send-wm-delete
          ${GLINTWORKS_WINEPREFIX})
set_tests_properties(wine_e2e PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine)
