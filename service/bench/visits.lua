-- wrk: GET a random stored code each time, as a mix of visitors would: a
-- user agent, a referrer and a client address (X-Forwarded-For, the
-- service trusting loopback) from short lists, a tenth through the QR code.
local paths = {}
local agents = {
  "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36",
  "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 Version/17.0 Mobile/15E148 Safari/604.1",
  "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0",
  "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 Chrome/120.0 Mobile Safari/537.36",
  "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/537.36 Chrome/120.0 Safari/537.36 Edg/120.0",
  "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
}
local referrers = {"https://news.example/a/b?c=1", "https://chat.example/room", "https://search.example/?q=x", ""}
function init(args)
  for line in io.lines(args[1]) do paths[#paths + 1] = "/" .. line:match("^(%S+)") end
  math.randomseed(os.time() + #tostring({}))
end
function request()
  local path = paths[math.random(#paths)]
  if math.random(10) == 1 then path = path .. "?qr" end
  local headers = {
    ["User-Agent"] = agents[math.random(#agents)],
    ["X-Forwarded-For"] = string.format("10.%d.%d.%d", math.random(0, 3), math.random(0, 255), math.random(1, 254)),
  }
  local referrer = referrers[math.random(#referrers)]
  if referrer ~= "" then headers["Referer"] = referrer end
  return wrk.format("GET", path, headers)
end
function done(summary, latency, requests)
  io.write(string.format("RESULT %.0f %.3f %.3f %d %d\n", summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, summary.errors.status,
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
