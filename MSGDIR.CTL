[TAVRINE]
Type: SendDir
Revision: A

