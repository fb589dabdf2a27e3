// Polars' rolling sum, mean, std, min and max with w = 10 and 10,000 over
// 10M floats on one thread (run with POLARS_MAX_THREADS=1): the reference
// figures for bench_mov_bench.  Needs nodejs-polars (npm i -E
// nodejs-polars@0.25.2) where Node resolves it; best of 5, milliseconds.
// The binding's own cost of handing back a 10M series is shown by cumSum,
// a kernel far cheaper than any rolling one: subtract it to see Polars.
import pl from "nodejs-polars";

const N = 10_000_000;
const a = new Float64Array(N);
for (let i = 0; i < N; i++) a[i] = Math.random() * 100.0;
const s = pl.Series("x", a);
const best = (f) => {
  f();
  let b = Infinity;
  for (let k = 0; k < 5; k++) {
    const t = process.hrtime.bigint();
    f();
    b = Math.min(b, Number(process.hrtime.bigint() - t) / 1e6);
  }
  return b;
};
console.log("polars cumSum (floor)".padEnd(22) + best(() => s.cumSum()).toFixed(3).padStart(10) + " ms");
for (const w of [10, 10000]) {
  const o = { windowSize: w, minPeriods: 1 };
  const cases = {
    sum: () => s.rollingSum(o),
    mean: () => s.rollingMean(o),
    std: () => s.rollingStd({ ...o, ddof: 0 }),
    min: () => s.rollingMin(o),
    max: () => s.rollingMax(o),
  };
  for (const [k, f] of Object.entries(cases))
    console.log(`polars ${k} w=${w}`.padEnd(22) + best(f).toFixed(3).padStart(10) + " ms");
}
