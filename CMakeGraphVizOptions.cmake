# `cmake --graphviz=FILE` draws the parts and what they link, without Qt's own inner targets.
set(GRAPHVIZ_GRAPH_NAME "messwerte")
set(GRAPHVIZ_EXTERNAL_LIBS TRUE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "messwerte_warnings" "^Qt6::(Platform|GlobalConfig|.*Private|.*Plugin.*|EntryPointPrivate)" "_resources_" "Qt6::moc" "Qt6::uic" "Qt6::rcc" "WrapAtomic" "Threads::Threads" "^-" "^\\$" "OpenGL" "GL" "XKB" "Vulkan" "WrapVulkan" "^/")
