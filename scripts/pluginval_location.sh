# Where Tracktion's pluginval (the plug-in validator) is cached and where it and
# the JUCE revision it builds against come from; sourced by the scripts.
#   RISER_PLUGINVAL_ROOT  the cache folder (default: ${XDG_CACHE_HOME:-~/.cache}/riser/pluginval-<tag>)
#   PLUGINVAL_URL         the pluginval repository (default: the public one)
#   JUCE_URL              the JUCE repository its modules/juce submodule is fetched from
#                         (default: the public one)
RISER_PLUGINVAL_TAG=v1.0.3
RISER_PLUGINVAL_ROOT_RESOLVED=${RISER_PLUGINVAL_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/riser/pluginval-$RISER_PLUGINVAL_TAG}
RISER_PLUGINVAL_ROOT_RESOLVED=$(realpath -ms -- "$RISER_PLUGINVAL_ROOT_RESOLVED")  # as in sdk_location.sh
PLUGINVAL_URL_RESOLVED=${PLUGINVAL_URL:-https://github.com/Tracktion/pluginval.git}
JUCE_URL_RESOLVED=${JUCE_URL:-https://github.com/juce-framework/JUCE.git}
RISER_PLUGINVAL_BIN=$RISER_PLUGINVAL_ROOT_RESOLVED/bin/pluginval
RISER_PLUGINVAL_MARKER=$RISER_PLUGINVAL_ROOT_RESOLVED/.riser-pluginval-complete
