#!/usr/bin/env bash
# The command line's man page and bash completion, as the AppDir ships them:
#   - the man page formats without a single groff warning (every warning category on);
#   - the completion offers the commands, each command's options, the values of --jobs, folders
#     after --vst3-dir, and product slugs read from "list --json" (a stand-in program prints
#     the catalogue's JSON, so no network is needed), reading them once per shell.
#
#   packaging_test.sh SOURCE_DIR
set -euo pipefail

source_dir=$1
man_page=$source_dir/packaging/cli/ZorvaManager.1
completion=$source_dir/packaging/cli/ZorvaManager.bash-completion
status=0

fail() {
    echo "FAILED: $*" >&2
    status=1
}

warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$man_page" 2>&1) || fail "groff rejected the man page"
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$man_page" 2>&1) || fail "man -l cannot show the man page"
for section in NAME SYNOPSIS COMMANDS OPTIONS "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^$section" <<<"$rendered" || fail "the man page has no $section section"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/studio/vst3" "$scratch/studio/clap"
stub=$scratch/ZorvaManager
cat >"$stub" <<'STUB'
#!/usr/bin/env bash
[ "$1 $2" = "list --json" ] || exit 2
echo call >>"${0%/*}/calls"
printf '{\n  "products": [\n    {\n      "slug": "prism-eq",\n      "name": "Prism EQ"\n    },\n    {\n      "slug": "ember-reverb",\n      "name": "Ember Reverb"\n    }\n  ]\n}\n'
STUB
chmod +x "$stub"

# offers "WORD..." EXPECTED...: completing the last word offers exactly EXPECTED (any order).
offers() {
    local line=$1
    shift
    local expected actual
    expected=$(printf '%s\n' "$@" | sort)
    actual=$(cd "$scratch" && bash -c '
        source "$1"
        read -r -a COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_WORDS[0]=$3
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _zorvamanager
        printf "%s\n" "${COMPREPLY[@]}"
        # A second completion in the same shell reads the slugs from memory.
        _zorvamanager >/dev/null
    ' completion-test "$completion" "$line" "$stub" | sed '/^$/d' | sort)
    [ "$actual" = "$expected" ] || fail "completing '$line' offered [$(tr '\n' ' ' <<<"$actual")], expected [$(tr '\n' ' ' <<<"$expected")]"
}

offers "ZorvaManager " list install update remove scan help --help --version
offers "ZorvaManager in" install
offers "ZorvaManager list --" --installed --updates --free --search --json --vst3-only --clap-only --vst3-dir --clap-dir --jobs --help --version
offers "ZorvaManager scan --j" --json --jobs
offers "ZorvaManager install --jobs " 1 2 3 4
offers "ZorvaManager remove --vst3-dir studio/" studio/vst3 studio/clap
offers "ZorvaManager list --search " 
rm -f "$scratch/calls"
offers "ZorvaManager install " --all --vst3-only --clap-only --vst3-dir --clap-dir --jobs --help --version prism-eq ember-reverb
[ "$(wc -l <"$scratch/calls")" -eq 1 ] || fail "the slugs were read $(wc -l <"$scratch/calls") times in one shell, expected once"
offers "ZorvaManager update pr" prism-eq
offers "ZorvaManager remove prism-eq em" ember-reverb

bash -n "$completion" || fail "the completion file is not valid bash"
exit $status
