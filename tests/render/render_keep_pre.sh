#!/usr/bin/env bash
# Renders real documentation pages with headless Chromium before and after
# "velocitrix-cli optimize --keep-pre" and requires the screenshots to be
# pixel-identical: outside the kept blocks the optimizer may only remove white
# space a browser ignores. Besides <pre> blocks, the pages of Doxygen, Javadoc
# and Pandoc show text in other elements that their CSS makes preformatted
# (code lines, method signatures, inline code), from linked sheets and from
# <style> blocks.
#
# Usage: render_keep_pre.sh VELOCITRIX_CLI OUT_DIR
# The screenshots of a page that differs are left in OUT_DIR for a look.
# Exit 77 (skipped) when Chromium or the documentation packages are missing.
set -uo pipefail

cli="$1"
out="$2"
py_docs=/usr/share/doc/python3.11/html     # package python3.11-doc
ap_docs=/usr/share/doc/apache2-doc/manual  # package apache2-doc
dx_docs=/usr/share/doc/libjsoncpp-doc      # package libjsoncpp-doc (Doxygen)
jd_docs=/usr/share/doc/openjdk-17-jre-headless/api # package openjdk-17-doc (Javadoc)
pd_docs=/usr/share/doc/libjs-bootstrap     # package libjs-bootstrap (Pandoc)

# Pages with many <pre> blocks that are wholly inside the window (at most
# about 13,500 pixels high at 1280 wide), so every block is in the picture.
pages=(
    py/tutorial/introduction.html
    py/tutorial/datastructures.html
    py/tutorial/inputoutput.html
    py/tutorial/modules.html
    py/tutorial/errors.html
    py/tutorial/floatingpoint.html
    py/howto/argparse.html
    py/howto/unicode.html
    py/extending/newtypes.html
    py/distutils/setupscript.html
    py/distutils/examples.html
    py/library/functools.html
    py/library/importlib.metadata.html
    ap/en/rewrite/flags.html
    ap/en/rewrite/remapping.html
    ap/en/rewrite/avoid.html
    ap/en/mod/mod_alias.html
    ap/en/mod/mod_autoindex.html
    ap/en/mod/mod_mime.html
    ap/en/misc/perf-tuning.html
    ap/en/sections.html
    ap/en/rewrite/rewritemap.html
    ap/en/howto/ssi.html
    dx/allocator_8h_source.html
    dx/assertions_8h_source.html
    dx/forwards_8h_source.html
    dx/version_8h_source.html
    dx/json__features_8h_source.html
    jd/java.base/java/util/LongSummaryStatistics.html
    jd/java.base/java/util/DoubleSummaryStatistics.html
    jd/java.base/java/util/Spliterators.AbstractSpliterator.html
    jd/java.base/java/lang/CharSequence.html
    pd/README.html
)
width=1280
height=14000

# Installed packages without their pages: dpkg was told not to unpack
# /usr/share/doc (as in slim container images); the test would prove nothing.
for pkg in python3.11-doc:$py_docs apache2-doc:$ap_docs libjsoncpp-doc:$dx_docs \
    openjdk-17-doc:$jd_docs libjs-bootstrap:$pd_docs; do
    if [ ! -d "${pkg#*:}" ] &&
        dpkg-query -W -f='${Status}' "${pkg%%:*}" 2>/dev/null | grep -q "install ok installed"; then
        echo "FAIL: ${pkg%%:*} is installed but ${pkg#*:} is missing (a dpkg path-exclude?)"
        exit 1
    fi
done
chromium="$(command -v chromium-headless-shell || true)"
if [ -z "$chromium" ] || [ ! -d "$py_docs" ] || [ ! -d "$ap_docs" ] || [ ! -d "$dx_docs" ] ||
    [ ! -d "$jd_docs" ] || [ ! -d "$pd_docs" ]; then
    echo "SKIP: needs chromium-headless-shell, python3.11-doc, apache2-doc, libjsoncpp-doc," \
        "openjdk-17-doc and libjs-bootstrap"
    exit 77
fi
for tool in compare convert; do
    command -v "$tool" >/dev/null || { echo "FAIL: ImageMagick's $tool is missing"; exit 1; }
done
[ -x "$cli" ] || { echo "FAIL: $cli is not a program"; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/vx-render.XXXXXX")"
trap 'rm -rf "$work"' EXIT
site="$work/site"

# The pages and what they load, links resolved, so the copy is self-contained
# and the relative links to style sheets, scripts and images work.
mkdir -p "$site/py" "$site/ap" "$site/dx" "$site/jd" "$site/pd"
cp -rL "$py_docs/_static" "$py_docs/_images" "$site/py/" || exit 1
cp -rL "$ap_docs/style" "$ap_docs/images" "$site/ap/" || exit 1
# Doxygen's sheets, scripts and pictures lie beside its pages; Javadoc's at the
# top of the tree, beside the modules' folders.
find "$dx_docs" -maxdepth 1 -type f ! -name '*.html' -exec cp -L {} "$site/dx/" \; || exit 1
find "$jd_docs" -mindepth 1 -maxdepth 1 ! -name 'java.*' ! -name 'jdk.*' -exec cp -rL {} "$site/jd/" \; ||
    exit 1
# Javadoc's search script puts the caret in its search box as the page loads;
# the caret blinks, so two renderings of one page would differ. The copy's
# script leaves the box unfocused (every rendering uses this copy).
sed -i 's/search\.focus()\[0\]\.setSelectionRange(0, 0);//' "$site/jd/search.js" || exit 1
from_of() { # page: where the package installed it
    case "$1" in
        py/*) echo "$py_docs/${1#py/}" ;;
        ap/*) echo "$ap_docs/${1#ap/}" ;;
        dx/*) echo "$dx_docs/${1#dx/}" ;;
        jd/*) echo "$jd_docs/${1#jd/}" ;;
        pd/*) echo "$pd_docs/${1#pd/}" ;;
    esac
}
for page in "${pages[@]}"; do
    from="$(from_of "$page")"
    mkdir -p "$(dirname "$site/$page")"
    cp -L "$from" "$site/$page" || exit 1
done

# Every style sheet, script and image a page names must be there, or the
# rendering would not show what a reader sees (a file the package itself
# lacks, such as Doxygen's logo, is missing for the reader too).
missing=0
for page in "${pages[@]}"; do
    dir="$(dirname "$site/$page")"
    installed="$(dirname "$(from_of "$page")")"
    while read -r ref; do
        ref="${ref%%[?#]*}"
        case "$ref" in http:* | https:* | //* | data:* | "") continue ;; esac
        if [ ! -e "$dir/$ref" ] && [ -e "$installed/$ref" ]; then
            echo "FAIL: $page loads $ref, which is not in the copy"
            missing=1
        fi
    done < <(grep -oE '(src="[^"]*"|<link[^>]*stylesheet[^>]*>)' "$site/$page" |
        grep -oE '(src|href)="[^"]*"' | sed -E 's/^(src|href)="//; s/"$//')
done
[ "$missing" -eq 0 ] || exit 1

# One rendering in a fresh profile: no network, no GPU, fixed size and scale,
# plain grey-scale anti-aliasing, and virtual time so that the pages' own
# scripts (syntax colouring, sidebars) have finished before the picture.
# A headless Chromium that hangs now and then (its zygote lost) is given a
# second try: the picture it makes is the same either way.
render() { # page png
    local rc attempt
    for attempt in 1 2; do
        render_once "$1" "$2"
        rc=$?
        [ $rc -eq 124 ] || break
        echo "note: Chromium timed out on $1 (attempt $attempt)"
    done
    if [ $rc -ne 0 ] || [ ! -s "$2" ]; then
        echo "FAIL: Chromium could not render $1 (exit $rc):"
        tail -n 5 "$work/chromium.log"
        exit 1
    fi
}
render_once() { # page png
    local profile
    profile="$(mktemp -d "$work/profile.XXXXXX")"
    timeout 180 "$chromium" --headless --no-sandbox --disable-gpu \
        --user-data-dir="$profile" --no-first-run --no-default-browser-check \
        --disable-extensions --disable-sync --disable-background-networking \
        --disable-component-update --host-resolver-rules='MAP * ~NOTFOUND' \
        --window-size="$width,$height" --force-device-scale-factor=1 \
        --hide-scrollbars --font-render-hinting=none --disable-lcd-text \
        --run-all-compositor-stages-before-draw --virtual-time-budget=5000 \
        --screenshot="$2" "file://$site/$1" >"$work/chromium.log" 2>&1
    local rc=$?
    rm -rf "$profile"
    return $rc
}

# Prints the number of pixels that differ; non-zero status when they differ
# or the pictures cannot be compared. Byte-identical files hold the same
# pixels, which spares ImageMagick's slow decoding of two tall pictures.
differing_pixels() { # a.png b.png
    if cmp -s "$1" "$2"; then
        echo 0
        return 0
    fi
    compare -metric AE "$1" "$2" null: 2>&1
}

name_of() { echo "${1//\//_}"; }

mkdir -p "$work/shots"
unstable=()
too_long=()
for page in "${pages[@]}"; do
    shot="$work/shots/$(name_of "$page")"
    render "$page" "$shot.before.png"
    render "$page" "$shot.again.png"
    # Two renderings of the same page must agree, or a difference after the
    # optimizer would prove nothing.
    if ! n="$(differing_pixels "$shot.before.png" "$shot.again.png")"; then
        unstable+=("$page ($n pixels)")
    fi
    # The last 300 rows must all be alike (each equal to the next), which
    # text never is: the page ended above them and is wholly in view.
    strip="${width}x299+0+$((height - 300))"
    next="${width}x299+0+$((height - 299))"
    compare -metric AE "$shot.before.png[$strip]" "$shot.before.png[$next]" null: 2>/dev/null ||
        too_long+=("$page")
done

status=0
if [ ${#unstable[@]} -gt 0 ]; then
    echo "FAIL: two renderings of the same unchanged page differ:"
    printf '  %s\n' "${unstable[@]}"
    status=1
fi
if [ ${#too_long[@]} -gt 0 ]; then
    echo "FAIL: pages longer than the ${height}-pixel window (choose shorter ones):"
    printf '  %s\n' "${too_long[@]}"
    status=1
fi
[ $status -eq 0 ] || exit $status

files=()
for page in "${pages[@]}"; do files+=("$site/$page"); done
cp -r "$site" "$work/original"
if ! "$cli" optimize --keep-pre "${files[@]}" >"$work/cli.log" 2>&1; then
    echo "FAIL: velocitrix-cli optimize --keep-pre failed:"
    cat "$work/cli.log"
    exit 1
fi
# velocitrix-cli's defaults write each page's line breaks as the page has them,
# so with the preformatted text kept no page may grow.
for page in "${pages[@]}"; do
    before=$(stat -c %s "$work/original/$page")
    after=$(stat -c %s "$site/$page")
    if [ "$after" -gt "$before" ]; then
        echo "FAIL: optimize --keep-pre made $page larger: $before -> $after bytes"
        status=1
    fi
done
# Each page must have lost some white space (not only gained CR before LF),
# or an optimizer that does nothing would pass.
for page in "${pages[@]}"; do
    if cmp -s <(tr -d '\r' <"$site/$page") "$work/original/$page"; then
        echo "FAIL: optimize --keep-pre removed no white space from $page"
        status=1
    fi
done
[ $status -eq 0 ] || exit $status

differ=()
rm -rf "$out"
for page in "${pages[@]}"; do
    shot="$work/shots/$(name_of "$page")"
    render "$page" "$shot.after.png"
    if ! n="$(differing_pixels "$shot.before.png" "$shot.after.png")"; then
        differ+=("$page ($n pixels)")
        mkdir -p "$out"
        cp "$shot.before.png" "$shot.after.png" "$out/"
        compare "$shot.before.png" "$shot.after.png" "$out/$(name_of "$page").diff.png" 2>/dev/null
    fi
done

if [ ${#differ[@]} -gt 0 ]; then
    echo "FAIL: ${#differ[@]} of ${#pages[@]} pages look different after optimize --keep-pre:"
    printf '  %s\n' "${differ[@]}"
    echo "Screenshots: $out"
    exit 1
fi
echo "PASS: ${#pages[@]} pages look the same before and after optimize --keep-pre"
