# Where the Windows cross build's libraries live and where they come from;
# sourced by the scripts. (cmake/mingw-w64-x86_64.cmake finds the same folder.)
RISER_LUA_TAG=v5.4.4
RISER_SPNG_TAG=v0.7.3
RISER_WINDOWS_DEPS_RESOLVED=${RISER_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/riser/windows-deps}
RISER_WINDOWS_DEPS_RESOLVED=$(realpath -ms -- "$RISER_WINDOWS_DEPS_RESOLVED")  # as in sdk_location.sh
RISER_LUA_URL_RESOLVED=${RISER_LUA_URL:-https://github.com/lua/lua.git}
RISER_SPNG_URL_RESOLVED=${RISER_SPNG_URL:-https://github.com/randy408/libspng.git}
RISER_MINGW_HOST=x86_64-w64-mingw32
