// Literals, escapes and comments.
# hash comment
/* block
   comment */
print(34 + " " + 0xFF + " " + 0xFFFFFFFF + " " + 0753 + " " + 08 + "\n");
print('a' + " " + '\xff' + " " + '\n' + "\n");
print(1.52 + " " + 1. + " " + 1.e-2 + " " + 1e6 + " " + 3E+2 + " " + 0.1 + "\n");
print("tab[\t] quote[\"] apos[\'] backslash[\\] hex[\x41\x4a] uni[\u00e9] nul-len[" + "a\0b".len() + "]\n");
print(@"verbatim \n ""quoted"" line
two" + "\n");
print(-5 + " " + ~0 + " " + -0x7FFFFFFF + " " + -2147483648 + "\n");
print(__LINE__ + " " + __FILE__ + "\n");
local s = "x"; s += 'y'; print(s + "\n");
