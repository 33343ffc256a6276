class A { x = 1; constructor(v) { x = v; } function get() { return x; } function _add(o) { return A(x + o.x); } }
class B extends A { function get() { return base.get() * 2; } }
local b = B(3) + A(4);
print(b.get() + " " + (b instanceof A) + "\n");
