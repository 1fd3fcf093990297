-- The factory's record of loads: the table cargas that every bench's programador writes, the
-- benches' role, and the views quality reads (psql, a spreadsheet, or a dashboard's PostgreSQL
-- source). Run once by the database's owner, and again after an upgrade: each statement leaves
-- what is there as it is.
--   psql -d produccion -v ON_ERROR_STOP=1 -f fabrica.sql
-- Then give the roles their passwords (ALTER ROLE banco PASSWORD '...').

-- One row per load, finished or not; a bench needs INSERT on it and nothing else.
CREATE TABLE IF NOT EXISTS cargas (
  id uuid PRIMARY KEY,                 -- made when the load starts: a row sent twice goes in once
  inicio timestamptz NOT NULL,         -- the load's start
  estacion text NOT NULL,              -- the bench PC
  version text NOT NULL,               -- programador's
  puerto text,                         -- COM2; empty for a device given by its path
  dispositivo text NOT NULL,
  serie_adaptador text,                -- the serial adapter's serial number
  imagen text NOT NULL,                -- the image file's name
  bytes bigint NOT NULL,
  sha256 text NOT NULL,                -- the image's, in hex
  bloques_enviados integer NOT NULL,
  bloques_total integer NOT NULL,
  resultado text NOT NULL,             -- Programa listo, Error de comunicacion, Error en puerto serie, Interrumpido
  estado integer NOT NULL,             -- the exit status the load would give
  segundos numeric(9,1) NOT NULL,
  recibido timestamptz NOT NULL DEFAULT clock_timestamp(),   -- when the server took the row
  serie text,                          -- the board's serial number
  orden text,                          -- the work order or lot
  operador text,                       -- who loaded it
  causa text);                         -- why a load that is not Programa listo ended so
-- A table an earlier version made gets the columns it lacks.
ALTER TABLE cargas ADD COLUMN IF NOT EXISTS serie text, ADD COLUMN IF NOT EXISTS orden text,
  ADD COLUMN IF NOT EXISTS operador text, ADD COLUMN IF NOT EXISTS causa text;
CREATE INDEX IF NOT EXISTS cargas_serie ON cargas (serie, inicio);

-- The benches write; quality reads the views.
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'banco') THEN CREATE ROLE banco LOGIN; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'calidad') THEN CREATE ROLE calidad LOGIN; END IF;
END $$;
GRANT INSERT ON cargas TO banco;

-- First-pass yield: of the boards tried (by their serial number) with an image, those that were
-- "Programa listo" at their first try, by the day, station and image of that try. A load the
-- operator or a signal interrupted is no try of the board's; loads without a serial number
-- cannot say which board they were, and are not counted here.
CREATE OR REPLACE VIEW primera_pasada AS
WITH primeras AS (
  SELECT DISTINCT ON (serie, sha256) serie, sha256, imagen, estacion, inicio, resultado
  FROM cargas
  WHERE serie <> '' AND resultado <> 'Interrumpido'
  ORDER BY serie, sha256, inicio, id)
SELECT inicio::date AS dia, estacion, min(imagen) AS imagen, sha256,
       count(*) AS placas,
       count(*) FILTER (WHERE resultado = 'Programa listo') AS a_la_primera,
       round(100.0 * count(*) FILTER (WHERE resultado = 'Programa listo') / count(*), 1) AS rendimiento
FROM primeras
GROUP BY inicio::date, estacion, sha256;

-- Boards loaded more than once, and how each try ended, in order.
CREATE OR REPLACE VIEW placas_repetidas AS
SELECT serie, count(*) AS cargas,
       count(*) FILTER (WHERE resultado = 'Programa listo') AS listas,
       min(inicio) AS primera, max(inicio) AS ultima,
       string_agg(resultado || coalesce(' (' || nullif(causa, '') || ')', ''), ' → ' ORDER BY inicio, id) AS intentos
FROM cargas
WHERE serie <> ''
GROUP BY serie
HAVING count(*) > 1;

-- What went wrong, by station, port and cause: failures of the board or its line apart from the
-- loads the operator or a signal interrupted. A row of an earlier version, with no cause, counts
-- under its result.
CREATE OR REPLACE VIEW fallas_por_causa AS
SELECT estacion, coalesce(puerto, dispositivo) AS puerto, coalesce(nullif(causa, ''), resultado) AS causa,
       count(*) FILTER (WHERE resultado <> 'Interrumpido') AS fallas,
       count(*) FILTER (WHERE resultado = 'Interrumpido') AS interrumpidas
FROM cargas
WHERE resultado <> 'Programa listo'
GROUP BY estacion, coalesce(puerto, dispositivo), coalesce(nullif(causa, ''), resultado);

-- A board's history: SELECT * FROM historia_placa WHERE serie = 'PL-0042' ORDER BY inicio;
CREATE OR REPLACE VIEW historia_placa AS
SELECT serie, inicio, estacion, coalesce(puerto, dispositivo) AS puerto, orden, operador, imagen, sha256,
       resultado, causa, bloques_enviados, bloques_total, segundos
FROM cargas
WHERE serie <> '';

GRANT SELECT ON primera_pasada, placas_repetidas, fallas_por_causa, historia_placa TO calidad;
