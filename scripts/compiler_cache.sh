# Compiler cache for the build scripts: ccache when it is installed (a
# rebuild of an unchanged tree then takes seconds), nothing otherwise.
# RISER_CCACHE=0 turns it off. Sets the array `cache_args` of cmake options.
cache_args=()
if [ "${RISER_CCACHE:-1}" != 0 ] && command -v ccache > /dev/null; then
  cache_args=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths inside the checkout count as relative, so a clone elsewhere (CI's)
  # reuses what another checkout compiled.
  if [ -z "${CCACHE_BASEDIR:-}" ] && [ -n "${root:-}" ]; then export CCACHE_BASEDIR=$root; fi
fi
