[TAVRINE]
Type: Request
Revision: A
