#!/usr/bin/env bash
# The folders are floors: core/ at the bottom; window/ (the window base and the
# scaled controls) on it; capture/, settings/ and support/ on those, side by
# side; app/ above them, and cli/ on top of app/. An include that runs up or
# sideways fails the check.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
        core) echo "core" ;;
        window) echo "core window" ;;
        capture) echo "core capture" ;;
        settings | support) echo "core window $1" ;;
        app) echo "core window capture settings support app" ;;
        cli) echo "core window capture settings support app cli" ;;
    esac
}

bad=0
for floor in core window capture settings support app cli; do
    [ -d "$floor" ] || continue
    ok=$(allowed "$floor")
    while IFS= read -r hit; do
        target=${hit#*#include \"}
        target=${target%%/*}
        case " $ok " in *" $target "*) ;; *) echo "layering: $hit" >&2; bad=1 ;; esac
    done < <(grep -rn -E '^#include "(core|window|capture|settings|support|app|cli)/' "$floor" || true)
done
[ "$bad" -eq 0 ] && echo "layering: every include runs down" >&2
exit "$bad"
