#!/usr/bin/env bash
# Builds the release of the committed tree (HEAD) and writes dist/:
#   riser_<version>-1_amd64.deb             the Debian package
#   riser-<version>-linux-x86_64.tar.gz     the bundle, riser-meter and the papers
#   riser-<version>-windows-x64.zip         the Windows bundle and the papers
#   riser-<version>-windows-x64-setup.exe   the Windows installer
#   SHA256SUMS
# The Windows artefacts come from scripts/release_windows.sh (cross-built
# with MinGW-w64, the installer checked under Wine; RISER_CHECK_WINDOWS=0
# skips the check). Then the .deb and the tarball are installed and checked
# in a fresh Debian 12 root (scripts/check_release_linux.sh;
# RISER_CHECK_LINUX=0 skips it). Set-up first (scripts/setup.sh --release).
# The version is the one in CMakeLists.txt. The sources are those of HEAD
# (uncommitted changes are left out), built in build/dist with the release
# flags (hardening, no debug information, source paths mapped to neutral
# names); binaries are stripped. Every time stamp is the commit's
# (SOURCE_DATE_EPOCH), so two runs on one commit write identical files.
#   RISER_JOBS   parallel build jobs (default: the number of cores)
#   RISER_DIST   where the artefacts go (default: dist/ in the checkout)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/sdk_location.sh
source "$root/scripts/sdk_location.sh"
# shellcheck source=scripts/compiler_cache.sh
source "$root/scripts/compiler_cache.sh"  # (CCACHE_BASEDIR for the build)
fail() { echo "release: $*" >&2; exit 1; }

jobs=${RISER_JOBS:-$(nproc)}
dist=${RISER_DIST:-$root/dist}
work=$root/build/dist
"$root/scripts/setup.sh" --release
for tool in dpkg-deb dpkg-shlibdeps fakeroot git strip zip makensis lintian; do
  command -v "$tool" > /dev/null || fail "$tool is missing (Debian packages dpkg-dev, fakeroot, git, binutils, zip, nsis, lintian)"
done

# shellcheck source=scripts/release_source.sh
source "$root/scripts/release_source.sh"
release_source "$work"
mkdir -p "$dist"
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] \
  || echo "release: uncommitted changes are not part of the release (it is built from $commit)"
echo "release: Riser $version from $commit"

# 1. The sources of HEAD, built with release flags.
build=$work/build
echo "release: building in $build"
"$root/scripts/release_configure.sh" linux "$work/src" "$build" "riser-$version" > "$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; fail "configuring failed"; }
cmake --build "$build" -j "$jobs" --target riser riser-meter > "$work/build.log" 2>&1 \
  || { tail -n 40 "$work/build.log"; fail "the build failed"; }

# 2. The installed tree, as the package holds it.
stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr > "$work/install.log"
so=$stage/usr/lib/vst3/riser.vst3/Contents/x86_64-linux/riser.so
exe=$stage/usr/bin/riser-meter
strip --strip-unneeded --remove-section=.comment "$so"
strip --strip-all --remove-section=.comment "$exe"
doc=$stage/usr/share/doc/riser
mkdir -p "$doc"
cp "$work/src/packaging/debian/copyright" "$doc/copyright"
gzip -9n "$stage/usr/share/man/man1/riser-meter.1"
gzip -9nc "$work/src/THIRD_PARTY_NOTICES" > "$doc/THIRD_PARTY_NOTICES.gz"
gzip -9nc "$work/src/CHANGELOG.md" > "$doc/changelog.gz"
gzip -9nc "$work/src/README.md" > "$doc/README.md.gz"
# The manual and the references beside the README, as its links expect.
mkdir -p "$doc/docs/images"
for f in "$work/src/docs/"*.md; do gzip -9nc "$f" > "$doc/docs/$(basename "$f").gz"; done
cp "$work/src/docs/images/"*.png "$doc/docs/images/"
"$root/scripts/release_debian_changelog.sh" "$version" | gzip -9n > "$doc/changelog.Debian.gz"
mkdir -p "$stage/usr/share/lintian/overrides"
cp "$work/src/packaging/debian/lintian-overrides" "$stage/usr/share/lintian/overrides/riser"

# Nothing of this machine in the binaries: no path of the checkout, the SDK
# or the build folders.
# shellcheck source=scripts/release_paths.sh
source "$root/scripts/release_paths.sh"
for f in "$so" "$exe"; do
  release_check_paths "$f" "$root" "$work" "$VST3_SDK_ROOT_RESOLVED" "${HOME:-}"
done

# 3. The Debian package: dependencies from the binaries.
deb=$dist/riser_${version}-1_amd64.deb
mkdir -p "$work/shlibs/debian"
printf 'Source: riser\n\nPackage: riser\nArchitecture: amd64\n' > "$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$so" "$exe" 2> "$work/shlibdeps.log" \
          | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { cat "$work/shlibdeps.log"; fail "dpkg-shlibdeps found no dependencies"; }
"$root/scripts/release_normalise.sh" "$stage"
mkdir -p "$stage/DEBIAN"
installed_kb=$(du -sk --apparent-size "$stage/usr" | cut -f1)
sed -e "s/@VERSION@/$version-1/" -e "s/@DEPENDS@/$depends/" -e "s/@SIZE@/$installed_kb/" \
  "$work/src/packaging/debian/control.in" > "$stage/DEBIAN/control"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum) > "$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
touch -h -d "@$SOURCE_DATE_EPOCH" "$stage/DEBIAN" "$stage/DEBIAN"/*
fakeroot dpkg-deb -Zxz --root-owner-group --build "$stage" "$deb" > /dev/null
# Debian's checks: no error or warning (the one tag that does not apply to a
# package published outside Debian is overridden, with the reason, in
# packaging/debian/lintian-overrides).
lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 \
  || { cat "$work/lintian.log"; fail "lintian found errors or warnings in $(basename "$deb")"; }

# 4. The tarball: the bundle, riser-meter, its manual and the papers.
name=riser-$version-linux-x86_64
tree=$work/tar/$name
mkdir -p "$tree"
cp -r "$stage/usr/lib/vst3/riser.vst3" "$stage/usr/bin/riser-meter" "$tree/"
cp "$work/src/packaging/riser-meter.1" "$work/src/README.md" "$work/src/LICENSE" \
   "$work/src/THIRD_PARTY_NOTICES" "$work/src/CHANGELOG.md" "$tree/"
mkdir -p "$tree/docs/images"
cp "$work/src/docs/"*.md "$tree/docs/"
cp "$work/src/docs/images/"*.png "$tree/docs/images/"
runtime=$(echo "$depends" | sed -e 's/ *([^)]*)//g' -e 's/,//g')
cat > "$tree/INSTALL.txt" <<TXT
Put the riser.vst3 folder into ~/.vst3 (for you) or /usr/lib/vst3 (for everyone); hosts find it there.
riser-meter runs from anywhere (copy it to ~/.local/bin, say); its manual: man ./riser-meter.1
Both need these runtime libraries (Debian 12 package names): $runtime
Install them with: sudo apt install $runtime
TXT
"$root/scripts/release_normalise.sh" "$work/tar"
tar -C "$work/tar" --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  --format=gnu -cf - "$name" | gzip -9n > "$dist/$name.tar.gz"

# 5. The Windows zip and installer.
RISER_DIST=$dist RISER_JOBS=$jobs "$root/scripts/release_windows.sh"
windows=("riser-$version-windows-x64.zip" "riser-$version-windows-x64-setup.exe")

# 6. Checksums.
(cd "$dist" && sha256sum "$(basename "$deb")" "$name.tar.gz" "${windows[@]}" > SHA256SUMS)
echo "release: wrote to $dist:"
(cd "$dist" && ls -l "$(basename "$deb")" "$name.tar.gz" "${windows[@]}" SHA256SUMS)

# 7. The .deb and the tarball installed and checked in a fresh Debian 12
# root, with the SDK's validator of this build.
[ "${RISER_CHECK_LINUX:-1}" != 0 ] || exit 0
cmake --build "$build" -j "$jobs" --target validator >> "$work/build.log" 2>&1 \
  || { tail -n 40 "$work/build.log"; fail "building the validator failed"; }
"$root/scripts/check_release_linux.sh" "$dist" "$build/bin/Release/validator"
