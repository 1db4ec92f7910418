print("before\n");
return 260;
