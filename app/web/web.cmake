# The program as a web page: glintworks.html (from shell.html), glintworks.js
# and glintworks.wasm, to be served together.
set_target_properties(glintworks PROPERTIES SUFFIX ".html")
set_property(TARGET glintworks APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/web/shell.html)
target_link_options(glintworks PRIVATE
  --shell-file ${CMAKE_CURRENT_SOURCE_DIR}/web/shell.html
  -sENVIRONMENT=web
  # The page stays as written: emcc would minify it with htmlmin, which
  # Debian does not package.
  -sMINIFY_HTML=0
  # The event loop's wait hands the browser its turn and comes back to the
  # same place (backend::waitEvents). Only the direct calls from main to that
  # wait are instrumented: nothing reached through a function pointer (the
  # window procedure, the renderer) ever waits, and so runs at full speed.
  -sASYNCIFY
  -sASYNCIFY_IGNORE_INDIRECT
  # That wait is written in JavaScript (webSleep), not as an async function.
  -sASYNCIFY_IMPORTS=webSleep
  # main's return ends the run as a process exit does: streams flushed, the
  # page told (Module.onExit).
  -sEXIT_RUNTIME=1
  # Larger canvases take more memory than the first 16 MB.
  -sALLOW_MEMORY_GROWTH=1
)
