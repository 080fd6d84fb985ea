SELECT * FROM P WHERE P.OBS = '' AND P.COD <> '' AND P.X >= ''
