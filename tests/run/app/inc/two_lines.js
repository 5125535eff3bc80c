var two = 2;
var three = two + 1;
