#pragma once
// c
/* b */ enum B : unsigned int { H = 0xFFFFFFFF, C = 'c', O = 017, };
enum F;
enum E {};
