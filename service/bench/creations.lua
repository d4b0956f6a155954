-- wrk: creations through one door, a new address every time.
--   wrk ... -s creations.lua URL [-- DOOR [KEY]]
-- DOOR: form (the desktop program's request, the default), api, plain,
-- yourls, shlink, kutt; KEY goes where that door reads a key. With a third
-- argument "probe", done() prints "STATUS n": the first answer's status.
local counter = 0
local thread_tag = 0
local threads = {}
local door, key = "form", ""

local function address()
  counter = counter + 1
  return "http://bench.example/" .. os.time() .. "/" .. (tag or 0) .. "-" .. counter
end
local function escaped(text)
  return (text:gsub("[^%w%-%._~]", function(c) return string.format("%%%02X", string.byte(c)) end))
end
local function json(name, text)
  return '{"' .. name .. '":"' .. text .. '"}'
end

-- each door's request for one address
local doors = {
  form = function(url)
    return wrk.format("GET", "/create.php?source=indexpage&url=" .. escaped(url) .. "&submit=Make+TinyURL%21&alias=")
  end,
  api = function(url)
    return wrk.format("POST", "/api/v1/links", {["Content-Type"] = "application/json"}, json("url", url))
  end,
  plain = function(url)
    return wrk.format("GET", "/api-create.php?url=" .. escaped(url))
  end,
  yourls = function(url)
    return wrk.format("POST", "/yourls-api.php", {["Content-Type"] = "application/x-www-form-urlencoded"},
      "action=shorturl&format=json&signature=" .. escaped(key) .. "&url=" .. escaped(url))
  end,
  shlink = function(url)
    return wrk.format("POST", "/rest/v3/short-urls", {["Content-Type"] = "application/json", ["X-Api-Key"] = key},
      json("longUrl", url))
  end,
  kutt = function(url)
    return wrk.format("POST", "/api/v2/links", {["Content-Type"] = "application/json", ["X-API-KEY"] = key},
      json("target", url))
  end,
}

function setup(thread)
  thread_tag = thread_tag + 1
  thread:set("tag", thread_tag)
  table.insert(threads, thread)
end
function init(args)
  door = args[1] or door
  key = args[2] or key
  if not doors[door] then error("creations.lua: no door " .. door) end
  if args[3] == "probe" then
    response = function(status)
      first_status = first_status or status
    end
  end
end
function request()
  return doors[door](address())
end
function done(summary, latency, requests)
  local status = threads[1] and threads[1]:get("first_status")
  if status then io.write("STATUS " .. status .. "\n") end
  io.write(string.format("RESULT %.0f %.3f %.3f %d %d\n", summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, summary.errors.status,
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
