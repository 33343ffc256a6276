enum A : int { X = 1, Y, Z = X, };
