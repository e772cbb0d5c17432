A_1.viewers = 3;
online_performers.add(A_1);
free_performers.add(A_1);
B.viewers = 1
busy_performers.add(B)private_performers.add(B)
// end
