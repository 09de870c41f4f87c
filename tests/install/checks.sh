# The assertions of the install tests, sourced by each of them:
#   check NAME COMMAND...   runs COMMAND; counts and says whether it held
#   checks_done LABEL       prints "LABEL: N passed, M failed", and fails
#                           when one failed
passed=0
failed=0
check() {
    name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $name"
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
    fi
}
checks_done() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
