# Sourced by the session tests. wait_for CONDITION [SECONDS]: polls the shell condition every
# tenth of a second until it holds (0) or SECONDS have passed (1; thirty unless given). Each wait
# ends as soon as its condition holds, so a generous limit costs nothing on a quick machine.
wait_for() {
    for _ in $(seq $((${2:-30} * 10))); do
        if eval "$1"; then return 0; fi
        sleep 0.1
    done
    return 1
}
