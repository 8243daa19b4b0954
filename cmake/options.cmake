# detector_settings_option(<name> <description> <default at top level>)
# At top level, an option in the cache. In a parent's build, the parent's own
# value if it set one, and OFF otherwise, with nothing put into its cache.
function(detector_settings_option name description default)
  if(PROJECT_IS_TOP_LEVEL)
    option(${name} "${description}" ${default})
  elseif(NOT DEFINED ${name})
    set(${name} OFF PARENT_SCOPE)
  endif()
endfunction()
