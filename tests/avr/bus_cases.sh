# What i2c_faults.sh and spi_faults.sh share, sourced by both: `good` runs a
# case that must pass and `fault` one with a fault planted that must fail,
# each through bus_test.py on the bus in $bus; $bad is set when either goes
# wrong. The caller sets harness, work, python and bus.
here=$(dirname "$0")
bad=0
# bus_test.py exits 10 when the panel did not show what the sketch meant,
# and otherwise non-zero when the check could not be made at all.
good() {
    "$python" "$here/bus_test.py" "$harness" "$work" "$@" --bus "$bus" || bad=1
}
fault() {
    "$python" "$here/bus_test.py" "$harness" "$work" "$@" --bus "$bus"
    rc=$?
    if [ $rc = 0 ]; then
        echo "  ^ the fault was not caught"
    fi
    if [ $rc != 10 ]; then
        bad=1
    fi
}
# The close of a battery: what it found, and its exit status.
verdict() {
    if [ $bad = 0 ]; then
        echo "every case passed and every fault was caught"
    fi
    exit $bad
}
