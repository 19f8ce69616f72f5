#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, starts a throwaway directory, loads the
# library into a JVM and shows what it does; the directory is stopped at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVISTAL_BUILD_DIR:-$root/build}/main
bash "$root/scripts/install-packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${ORVISTAL_JOBS:-2}" --target Orvistal orvistal_java
dc="$root/tests/directory/dc.sh"
trap 'bash "$dc" stop >/dev/null' EXIT
bash "$dc" start
eval "$(bash "$dc" env)"
# The directory is also this machine's default one, as a domain member's DC is: logons go there.
export LDAPURI="ldaps://$ORVISTAL_TEST_SERVER"
jdk=$(grep '^ORVISTAL_JDK_HOME:' "$build/CMakeCache.txt" | cut -d= -f2)
"$jdk/bin/java" -Dorvistal.library="$build/src/libOrvistal.so" -cp "$build/java/classes" orvistal.demo.Demo
# Where the jar for Java projects is (it also carries the Windows DLLs, so it takes the longer build).
version=$(grep '^CMAKE_PROJECT_VERSION:' "$build/CMakeCache.txt" | cut -d= -f2)
jar=$build/orvistal-$version.jar
if [ -f "$jar" ]; then
  echo "The jar for your Java project: $jar (with -javadoc.jar and -sources.jar beside it)"
else
  echo "The jar for your Java project is made by: cmake --build $build -j2 --target orvistal_jar orvistal_doc_jars"
  echo "  (it cross-compiles the Windows DLLs too) and lands at $jar"
fi
