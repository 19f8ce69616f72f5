#!/usr/bin/env bash
# `mvn install:install-file -Dfile=JAR` installs the jar under the coordinates its own Maven
# metadata gives. Offline: Maven's plugins come from Debian's repository in /usr/share/maven-repo.
# usage: maven_install.sh JAR GROUP_ID ARTIFACT_ID VERSION
set -euo pipefail
jar=$1 group=$2 artifact=$3 version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/settings.xml" <<'SETTINGS'
<settings><mirrors><mirror><id>debian</id><mirrorOf>*</mirrorOf><url>file:///usr/share/maven-repo</url></mirror></mirrors></settings>
SETTINGS
mvn -o -B -q -s "$work/settings.xml" -Dmaven.repo.local="$work/repo" -Daether.offline.protocols=file \
    install:install-file -Dfile="$jar" > "$work/log" 2>&1 || { cat "$work/log"; exit 1; }
installed=$work/repo/${group//.//}/$artifact/$version/$artifact-$version
cmp "$jar" "$installed.jar" || { echo "FAIL: nothing installed as $group:$artifact:$version"; exit 1; }
grep -q "<artifactId>$artifact</artifactId>" "$installed.pom" || { echo "FAIL: the installed pom is not the jar's"; exit 1; }
echo "OK: installed as $group:$artifact:$version"
