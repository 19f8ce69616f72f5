#!/usr/bin/env bash
# Assembles the jar: the kestrivane classes, each platform's library with its SHA-256 under one
# resource folder, the Maven metadata and the manifest.
# usage: make_jar.sh JAR_TOOL OUTPUT STAGE CLASSES MAVEN_DIR VERSION PLATFORM=LIBRARY...
set -euo pipefail
jar_tool=$1 output=$2 stage=$3 classes=$4 maven=$5 version=$6
shift 6
rm -rf "$stage"
mkdir -p "$stage/META-INF"
cp -r "$classes/kestrivane" "$stage/"
find "$stage" -type f ! -name '*.class' -delete
natives=$stage/kestrivane/qom/userstoreproxy/multidomain/native
for pair in "$@"; do
  platform=${pair%%=*} library=${pair#*=}
  mkdir -p "$natives/$platform"
  # The Linux build keeps its debugging sections in the build tree; the jar carries the code alone.
  # The Windows libraries go as built (and as their tests ran them).
  case $library in
    *.so) objcopy --strip-debug "$library" "$natives/$platform/$(basename "$library")" ;;
    *) cp "$library" "$natives/$platform/" ;;
  esac
  (cd "$natives/$platform" && sha256sum "$(basename "$library")" > "$(basename "$library").sha256")
done
cp -r "$maven" "$stage/META-INF/maven"
printf 'Implementation-Title: Orvistal\nImplementation-Version: %s\n' "$version" > "$stage/manifest.txt"
rm -f "$output"
"$jar_tool" --create --file "$output" --manifest "$stage/manifest.txt" -C "$stage" META-INF -C "$stage" kestrivane
