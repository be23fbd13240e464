# The program as a web page (being written).
set_target_properties(glintworks PROPERTIES SUFFIX ".html")
