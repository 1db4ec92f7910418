// The root-table math functions, and chains of operations mixing the classes.
dir <- Vector(1.0, 2.0, -2.0, 5.0)
pos <- Vector(1.0, 2.0, 3.0)
angles <- Vector(0.3, -0.7, 0.2)
scale <- Vector(2.0, 0.5, 1.5)
pivot <- Vector(-1.0, 0.25, 4.0)
rot <- Matrix3(0.0, 1.0, 0.0,  -1.0, 0.0, 0.0,  0.0, 0.0, 1.0)

class Arrow extends Vector {}

cases <- {
    matrix_to_euler_yxz = @() MatrixToEuler(RotationMatrixFromDirection(dir), 4),
    matrix_to_euler_zxy = @() MatrixToEuler(RotationMatrixFromDirection(dir), 2),
    matrix_to_euler_xy = @() MatrixToEuler(RotationMatrixFromDirection(dir), 6),
    matrix_to_euler_zyx_is_zero = @() MatrixToEuler(rot, 0),
    matrix_to_euler_xyz_is_zero = @() MatrixToEuler(rot, 5),
    matrix_to_euler_matrix4 = @() MatrixToEuler(Matrix4(), 4),
    matrix_to_euler_vector = @() MatrixToEuler(dir, 4),
    matrix_to_euler_float_order = @() MatrixToEuler(rot, 4.0),
    matrix_to_euler_missing_order = @() MatrixToEuler(rot),

    euler_from_direction = @() EulerFromDirection(dir),
    euler_from_zero = @() EulerFromDirection(Vector(0.0, 0.0, 0.0)),
    euler_from_subclass = @() EulerFromDirection(Arrow(1.0, 2.0, -2.0)),
    euler_from_matrix = @() EulerFromDirection(rot),
    euler_from_number = @() EulerFromDirection(1.0),

    rotation_from_direction = @() RotationMatrixFromDirection(dir),
    rotation_from_vertical = @() RotationMatrixFromDirection(Vector(0.0, 1.0, 0.0)),
    rotation_from_vertical_row0 = @() RotationMatrixFromDirection(Vector(0.0, 1.0, 0.0)).GetRow(0),
    rotation_from_vertical_row2 = @() RotationMatrixFromDirection(Vector(0.0, 1.0, 0.0)).GetRow(2),
    rotation_from_matrix = @() RotationMatrixFromDirection(Matrix4()),
    rotation_too_many = @() RotationMatrixFromDirection(dir, dir),

    transformation = @() TransformationMatrix(pos, angles, scale, pivot),
    transformation_translation_only = @() TransformationMatrix(pos, Vector(0.0, 0.0, 0.0), Vector(1.0, 1.0, 1.0), Vector(0.0, 0.0, 0.0)),
    transformation_ignores_w = @() TransformationMatrix(Vector(1.0, 2.0, 3.0, 0.0), Vector(0.0, 0.0, 0.0, 9.0), Vector(1.0, 1.0, 1.0, 0.0), Vector(0.0, 0.0, 0.0, 3.0)),
    transformation_bad_last = @() TransformationMatrix(pos, angles, scale, rot),
    transformation_bad_first = @() TransformationMatrix(rot, angles, scale, pivot),
    transformation_too_few = @() TransformationMatrix(pos, angles, scale),

    chain_point_through_matrices = @() (pos * TransformationMatrix(pos, angles, scale, pivot)).ApplyRotationMatrix(rot),
    chain_matrix_products = @() (RotationMatrixFromDirection(dir).AsMatrix4() * TransformationMatrix(pos, angles, scale, pivot)).GetRow(3),
    chain_vector_expression = @() (pos * 2.0 + dir.Cross(angles)).Normalize(3.0) - scale / 2.0,
    chain_euler_round_trip = @() TransformationMatrix(Vector(), EulerFromDirection(dir), Vector(1.0, 1.0, 1.0), Vector()).AsMatrix3().GetRow(2),
    chain_basis_times_euler = @() (Matrix3().FromOrthonormalBasis(dir) * rot).AsEuler(),
    chain_loop = function() {
        local acc = Vector()
        local m = Matrix4()
        m.SetRow(3, Vector(0.5, 0.0, -0.5))
        for (local i = 0; i < 10; i++)
            acc = (acc + pos) * m
        return acc
    },
}
