# Prints the goals table of `make bench` (scripts/bench.sh): reads the
# goals file (bench/goals.tsv) first, then the JSON results of the
# benchmark programs, each file named after its program.
#   awk -f scripts/bench-table.awk bench/goals.tsv RESULTS/*.json
function scale(unit) {
    return unit == "ns" ? 1e-6 : unit == "us" ? 1e-3 : unit == "s" ? 1e3 : 1
}
FNR == 1 {
    file++
    program = FILENAME
    sub(/.*\//, "", program)
    sub(/\.json$/, "", program)
}
file == 1 {
    if ($0 ~ /^#/ || NF == 0)
        next
    split($0, f, "\t")
    goals++
    figure[goals] = f[1]; prog[goals] = f[2]; bench[goals] = f[3]
    field[goals] = f[4]; unit[goals] = f[5]; goal[goals] = f[6]
    next
}
/"name": / {
    name = $0
    sub(/.*"name": "/, "", name)
    sub(/".*/, "", name)
    sub(/\/.*/, "", name)
    aggregate = 0
}
/"run_type": "aggregate"/ { aggregate = 1 }
/"time_unit": / {
    u = $0
    sub(/.*"time_unit": "/, "", u)
    sub(/".*/, "", u)
    timeUnit[program SUBSEP name] = u
}
/^ *"[A-Za-z_]+": -?[0-9]/ && !aggregate {
    key = $0
    sub(/^ *"/, "", key)
    sub(/".*/, "", key)
    value = $0
    sub(/^[^:]*: */, "", value)
    sub(/,$/, "", value)
    result[program SUBSEP name SUBSEP key] = value + 0
    seen[program SUBSEP name SUBSEP key] = 1
}
END {
    printf "\n%-28s %14s   %-10s %s\n", "figure", "measured", "goal", ""
    for (i = 1; i <= goals; i++) {
        k = prog[i] SUBSEP bench[i] SUBSEP field[i]
        if (!(k in seen)) {
            printf "%-28s %14s   %-10s\n", figure[i], "not run", goal[i] " " (goal[i] == "-" ? "" : unit[i])
            continue
        }
        v = result[k]
        if (field[i] == "real_time" || field[i] == "cpu_time")
            v = v * scale(timeUnit[prog[i] SUBSEP bench[i]]) / (unit[i] == "us" ? 1e-3 : 1)
        verdict = ""
        if (goal[i] ~ /^<=/) {
            limit = goal[i]; sub(/^<= */, "", limit)
            verdict = v <= limit + 0 ? "met" : "MISSED"
        } else if (goal[i] ~ /^=/) {
            limit = goal[i]; sub(/^= */, "", limit)
            verdict = v == limit + 0 ? "met" : "MISSED"
        }
        printf "%-28s %10.3f %-3s   %-10s %s\n", figure[i], v, unit[i], (goal[i] == "-" ? "-" : goal[i] " " unit[i]), verdict
    }
}
