#!/usr/bin/env bash
# The jar holds the kestrivane classes, the three platforms' libraries (each of its platform, each
# with a SHA-256 that matches it), the Maven metadata and the manifest, and nothing else.
# usage: check_jar.sh JAR CLASSES GROUP_ID ARTIFACT_ID VERSION
set -euo pipefail
jar=$1 classes=$2 group=$3 artifact=$4 version=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
natives=kestrivane/qom/userstoreproxy/multidomain/native
declare -A formats=([linux-x86_64/libOrvistal.so]=elf64-x86-64 [windows-x86/Orvistal.dll]=pei-i386
                    [windows-x86_64/Orvistal.dll]=pei-x86-64)
{
  (cd "$classes" && find kestrivane -name '*.class')
  for library in "${!formats[@]}"; do echo "$natives/$library"; echo "$natives/$library.sha256"; done
  printf '%s\n' META-INF/MANIFEST.MF "META-INF/maven/$group/$artifact/pom.xml" "META-INF/maven/$group/$artifact/pom.properties"
} | sort > "$work/expected"
unzip -Z1 "$jar" | grep -v '/$' | sort > "$work/actual"
status=0
diff -u "$work/expected" "$work/actual" || { echo "FAIL: the jar's entries differ from the expected ones"; status=1; }

unzip -q "$jar" -d "$work/unpacked"
for library in "${!formats[@]}"; do
  (cd "$work/unpacked/$natives/$(dirname "$library")" && sha256sum --quiet -c "$(basename "$library").sha256") ||
    { echo "FAIL: $library does not match its SHA-256"; status=1; }
  format=$(objdump -f "$work/unpacked/$natives/$library" | sed -n 's/.*file format //p')
  [ "$format" = "${formats[$library]}" ] || { echo "FAIL: $library is $format, not ${formats[$library]}"; status=1; }
done
grep -qx "version=$version" "$work/unpacked/META-INF/maven/$group/$artifact/pom.properties" ||
  { echo "FAIL: pom.properties does not give version $version"; status=1; }
[ $status -ne 0 ] || echo "OK: $(wc -l < "$work/actual") entries, three libraries matching their checksums"
exit $status
