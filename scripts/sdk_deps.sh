#!/usr/bin/env bash
# Obtains the VST3 SDK 3.7.4 with the submodules Riser builds against into a
# cache outside the checkout. Skipped when the cache is complete; a folder of
# the user's own at VST3_SDK_ROOT is used as it is when it holds an SDK, and
# refused otherwise (see scripts/cache_folder.sh). Called by scripts/setup.sh.
# Environment: see scripts/sdk_location.sh.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/sdk_location.sh
source "$here/sdk_location.sh"
# shellcheck source=scripts/cache_folder.sh
source "$here/cache_folder.sh"

root=$VST3_SDK_ROOT_RESOLVED
marker="$root/.riser-sdk-complete"
# A tree the build can use: the headers, sources and VSTGUI it compiles.
sdk_usable() {
  [ -f "$1/CMakeLists.txt" ] && [ -f "$1/pluginterfaces/base/funknown.h" ] &&
    [ -f "$1/public.sdk/source/vst/vstsinglecomponenteffect.cpp" ] &&
    [ -f "$1/base/source/fobject.cpp" ] && [ -f "$1/vstgui4/vstgui/vstgui.h" ]
}

cache_prepare "$root" "$marker" .riser-sdk-complete sdk_usable

echo "setup: fetching the VST3 SDK ($RISER_SDK_TAG) from $VST3_SDK_URL_RESOLVED into $root"
git_opts=()
# git refuses file-protocol submodules unless told otherwise; allow it only for local mirrors.
case "$VST3_SDK_URL_RESOLVED" in
  /*|file://*|./*|../*) git_opts=(-c protocol.file.allow=always) ;;
esac
git "${git_opts[@]}" clone --quiet --no-checkout "$VST3_SDK_URL_RESOLVED" "$cache_stage"
git -C "$cache_stage" "${git_opts[@]}" -c advice.detachedHead=false checkout --quiet "$RISER_SDK_TAG"
git -C "$cache_stage" "${git_opts[@]}" submodule --quiet update --init \
  base cmake pluginterfaces public.sdk vstgui4
touch "$cache_stage/.riser-sdk-complete"
cache_commit "$root" .riser-sdk-complete
