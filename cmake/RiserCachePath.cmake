# Where the set-up keeps a cache outside the checkout: $ENV{<env_name>} when
# set, else ${XDG_CACHE_HOME:-~/.cache}/riser/<name>, the rule the scripts
# follow (scripts/sdk_location.sh, scripts/windows_location.sh).
function(riser_cache_path out env_name name)
  if(DEFINED ENV{${env_name}} AND NOT "$ENV{${env_name}}" STREQUAL "")
    set(${out} "$ENV{${env_name}}" PARENT_SCOPE)
  elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(${out} "$ENV{XDG_CACHE_HOME}/riser/${name}" PARENT_SCOPE)
  else()
    set(${out} "$ENV{HOME}/.cache/riser/${name}" PARENT_SCOPE)
  endif()
endfunction()
