function gen(n) { for (local i = 0; i < n; i++) yield i; return "end"; }
local s = 0;
foreach (v in gen(10)) s += v;
local t = newthread(function(x) { local y = suspend(x); return y * 2; });
print(s + " " + t.call(1) + " " + t.wakeup(5) + "\n");
