-- wrk: the desktop program's creation request, a new address every time.
local counter = 0
local thread_tag = 0
function setup(thread)
  thread_tag = thread_tag + 1
  thread:set("tag", thread_tag)
end
function request()
  counter = counter + 1
  return wrk.format("GET", "/create.php?source=indexpage&url=http%3A%2F%2Fbench.example%2F" .. os.time() .. "%2F" ..
    (tag or 0) .. "-" .. counter .. "&submit=Make+TinyURL%21&alias=")
end
function done(summary, latency, requests)
  io.write(string.format("RESULT %.0f %.3f %.3f %d %d\n", summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, summary.errors.status,
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
