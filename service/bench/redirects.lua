-- wrk: GET a random stored code each time; the codes are the first word of
-- each line of the file given after "--".
local paths = {}
function init(args)
  for line in io.lines(args[1]) do paths[#paths + 1] = "/" .. line:match("^(%S+)") end
  math.randomseed(os.time() + #tostring({}))
end
function request()
  return wrk.format("GET", paths[math.random(#paths)])
end
function done(summary, latency, requests)
  io.write(string.format("RESULT %.0f %.3f %.3f %d %d\n", summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, summary.errors.status,
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
