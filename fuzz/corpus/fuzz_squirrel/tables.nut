local t = { a = 1, b = [1, 2, 3], c = { d = "e" } };
t.f <- function() { return this.a; };
foreach (k, v in t) print(k + "\n");
delete t.a;
local d = { _get = function(k) { return k; } };
t.setdelegate(d);
print(t.zzz + t.len() + "\n");
local arr = [5, 3, 1].map(@(v) v * 2).filter(@(i, v) v > 2).sort(@(a, b) a <=> b);
