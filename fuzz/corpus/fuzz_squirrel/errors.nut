try { throw { code = 1 }; } catch (e) { print(e.code + "\n"); }
try { local x = null; x.y = 1; } catch (e) { print(e + "\n"); }
try { [].pop(); } catch (e) { print(e + "\n"); }
local r = regexp(@"(\d+)-(\w+)");
local m = r.capture("x 12-ab y");
print(format("%5.2f %s %d", 1.5, "s", 10) + split("a,b", ",").len() + "\n");
local bl = blob(4); bl.writen(1.5, 'f'); bl.seek(0); print(bl.readn('f') + "\n");
