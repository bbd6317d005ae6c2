# Sourced: asks the kernel to keep idle CPUs ready to run at once, for as long
# as this shell lives. Every registry and window call under Wine is a round
# trip to wineserver; on a virtual machine whose idle CPUs halt, waking the
# other side of each round trip costs tens of microseconds instead of a few,
# and the tests and benchmarks slow down tenfold. A request of 0 µs on
# /dev/cpu_dma_latency (the kernel's PM QoS interface, as latency benchmarks
# use it) holds only while the file stays open; it needs root and is skipped
# quietly without it. Sets LOW_LATENCY_HELD to yes or no.
hold_low_latency() {
    LOW_LATENCY_HELD=no
    if [ -w /dev/cpu_dma_latency ] && exec {LOW_LATENCY_FD}>/dev/cpu_dma_latency 2>/dev/null; then
        if printf '0' >&"$LOW_LATENCY_FD" 2>/dev/null; then
            LOW_LATENCY_HELD=yes
        else
            exec {LOW_LATENCY_FD}>&-
        fi
    fi
}
