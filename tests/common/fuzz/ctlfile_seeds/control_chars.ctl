A[P]	
	Comment line
A:	value
B:üéÿ
