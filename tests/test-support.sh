# Sourced by the shell tests: the failure exit and the check for the X tools they drive.

fail()
{
    echo "FAIL: $*" >&2
    exit 1
}

# Fails unless every tool named is on PATH.
require_tools()
{
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
    done
}
