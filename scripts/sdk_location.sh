# Where the VST3 SDK cache lives and where it comes from; sourced by the scripts.
RISER_SDK_TAG=v3.7.4_build_25
VST3_SDK_ROOT_RESOLVED=${VST3_SDK_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/riser/vst3sdk-3.7.4}
# Absolute, without a trailing "/" or "." parts (symbolic links kept): the
# cache's lock and stage are the folder's name with .lock and .partial added.
VST3_SDK_ROOT_RESOLVED=$(realpath -ms -- "$VST3_SDK_ROOT_RESOLVED")
VST3_SDK_URL_RESOLVED=${VST3_SDK_URL:-https://github.com/steinbergmedia/vst3sdk.git}
